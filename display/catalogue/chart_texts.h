#pragma once
// The texts a strip chart shows for its parameter, made from the catalogue and
// the record: the large value text and the paired text at the top right. The
// caller holds record.lock.

#include "app/record/live_record.h"

namespace m797 {

// By display kind: analog and flag entries their slot's text (a flag's is its
// mnemonic), counters `count` and N_ERR `errorCount` as decimal integers, bit
// strings the eight bit texts from bitText[7] down to bitText[0], CHKSUMFL
// extraText[0] + extraText[1]. Empty for reserved entries and for numbers
// outside 1..79.
Text chartValueText(int parameterNumber, const LiveRecord& record);

// The first literal, the named entry's text and the second literal; empty
// for the entries without a paired text.
Text chartPairedText(int parameterNumber, const LiveRecord& record);

}  // namespace m797
