#pragma once
// The texts a strip chart shows for its parameter, made from the catalogue and
// the record, read under the caller's lock: the large value text and the
// paired text at the top right.

#include "app/record/record_lock.h"

namespace m797 {

// By display kind: analog and flag entries their slot's text (a flag's is its
// mnemonic), counters `count` and N_ERR `errorCount` as decimal integers, bit
// strings the eight bit texts from bitText[7] down to bitText[0], CHKSUMFL
// extraText[0] + extraText[1]. Empty for reserved entries and for numbers
// outside 1..79.
Text chartValueText(int parameterNumber, const RecordLock& held);

// The first literal, the named entry's text and the second literal; empty
// for the entries without a paired text.
Text chartPairedText(int parameterNumber, const RecordLock& held);

}  // namespace m797
