#include "display/value_texts.h"

#include <string>

#include "display/catalogue.h"

namespace m797 {
namespace {

Text bitString(const StatusByte& b) {
    Text out;
    for (int k = 7; k >= 0; --k) out += b.bitText[k];
    return out;
}

}  // namespace

Text slotText(const LiveRecord& record, int parameterNumber) {
    const SlotRef ref = slotOf(parameterNumber);
    switch (ref.kind) {
        case SlotKind::Analog: return record.analog[ref.index].text;
        case SlotKind::Flag: return record.flag[ref.index].text;
        case SlotKind::Counter: return std::to_string(record.counter[ref.index].count);
        case SlotKind::None: break;
    }
    return {};
}

Text chartValueText(const LiveRecord& record, int parameterNumber) {
    const CatalogueEntry* e = catalogueEntry(parameterNumber);
    if (!e) return {};
    switch (e->kind) {
        case DisplayKind::Analog:
        case DisplayKind::Flag:
        case DisplayKind::Counter: return slotText(record, parameterNumber);
        case DisplayKind::BitString:
            return e->statusByteIndex >= 0 ? bitString(record.statusByte[e->statusByteIndex]) : Text();
        case DisplayKind::Checksum: return record.extraText[0] + record.extraText[1];
        case DisplayKind::ErrorCount: return std::to_string(record.errorCount);
        case DisplayKind::Reserved: break;
    }
    return {};
}

Text chartPairedText(const LiveRecord& record, int parameterNumber) {
    const CatalogueEntry* e = catalogueEntry(parameterNumber);
    if (!e || e->pairedWith == 0) return {};
    return e->pairedPrefix + slotText(record, e->pairedWith) + e->pairedSuffix;
}

}  // namespace m797
