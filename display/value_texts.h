#pragma once
// The texts a chart shows for its parameter: the large value text and the
// paired text, made from the catalogue and the record. The caller holds
// record.lock.

#include "app/live_record.h"

namespace m797 {

struct CatalogueEntry;

// Empty for reserved entries and numbers outside 1..79.
Text chartValueText(const LiveRecord& record, int parameterNumber);
// Empty when the entry has no paired text.
Text chartPairedText(const LiveRecord& record, int parameterNumber);
// The value text of an analog or flag slot, the count of a counter slot.
Text slotText(const LiveRecord& record, int parameterNumber);

}  // namespace m797
