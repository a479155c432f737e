#include "display/catalogue/chart_texts.h"

#include <string>

#include "display/catalogue/catalogue.h"

namespace m797 {
namespace {

Text bitString(const StatusByte& status) {
    Text bits;
    for (int k = 7; k >= 0; --k) bits += status.bitText[k];
    return bits;
}

}  // namespace

Text chartValueText(int parameterNumber, const RecordLock& held) {
    const LiveRecord& record = held.record();
    const CatalogueEntry* entry = catalogueEntry(parameterNumber);
    if (entry == nullptr) return {};
    const SlotRef slot = slotOf(parameterNumber);
    switch (entry->kind) {
    case DisplayKind::Analog: return record.analog[slot.index].text;
    case DisplayKind::Flag: return record.flag[slot.index].text;
    case DisplayKind::Counter: return std::to_string(record.counter[slot.index].count);
    case DisplayKind::BitString: return bitString(record.statusByte[entry->statusByteIndex]);
    case DisplayKind::Checksum: return record.extraText[0] + record.extraText[1];
    case DisplayKind::ErrorCount: return std::to_string(record.errorCount);
    case DisplayKind::Reserved: break;
    }
    return {};
}

Text chartPairedText(int parameterNumber, const RecordLock& held) {
    const LiveRecord& record = held.record();
    const CatalogueEntry* entry = catalogueEntry(parameterNumber);
    if (entry == nullptr || entry->pairedWith == 0) return {};
    return entry->pairedPrefix + record.analog[slotOf(entry->pairedWith).index].text + entry->pairedSuffix;
}

}  // namespace m797
