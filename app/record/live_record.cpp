#include "app/record/live_record.h"

namespace m797 {
namespace {

constexpr int kAnalogNumbers[kAnalogSlots] = {1,  2,  3,  4,  5,  8,  9,  10, 11, 38, 39, 40, 43,
                                              44, 45, 51, 52, 53, 54, 55, 56, 58, 60, 61, 62, 63,
                                              65, 66, 67, 69, 70, 72, 74, 75, 76, 77, 78, 79};
constexpr int kCounterNumbers[kCounterSlots] = {46, 47, 48, 49, 50, 68};
constexpr int kFlagNumbers[kFlagSlots] = {15, 16, 17, 18, 19, 20, 21, 22, 23, 24,
                                          25, 26, 27, 28, 29, 30, 31, 32, 33, 64};
constexpr const char* kFlagMnemonics[kFlagSlots] = {
    "B_EKP",    "B_KOE", "B_KR", "B_KSTUMS", "B_LF1",   "B_LF2", "B_LL", "B_LR",  "B_LRA", "B_LRHK",
    "B_LUSTOP", "B_MIL", "B_SA", "B_SBBHK",  "B_SBBVK", "B_SWE", "B_TE", "B_VAR", "B_VL",  "S_AS"};

struct SlotTable {
    SlotRef ref[kParameterCount + 1] = {};
    constexpr SlotTable() {
        for (int i = 0; i < kAnalogSlots; ++i)
            ref[kAnalogNumbers[i]] = {SlotKind::Analog, static_cast<std::uint8_t>(i)};
        for (int i = 0; i < kCounterSlots; ++i)
            ref[kCounterNumbers[i]] = {SlotKind::Counter, static_cast<std::uint8_t>(i)};
        for (int i = 0; i < kFlagSlots; ++i) ref[kFlagNumbers[i]] = {SlotKind::Flag, static_cast<std::uint8_t>(i)};
    }
};
constexpr SlotTable kSlots;

}  // namespace

SlotRef slotOf(int parameterNumber) {
    if (parameterNumber < 1 || parameterNumber > kParameterCount) return {};
    return kSlots.ref[parameterNumber];
}
int analogParameter(int index) { return kAnalogNumbers[index]; }

// Texts start empty and histories flat (member initialisers); every age
// equals its index, so each chart shows a flat line over its whole width
// before the first sample, and the flag slots carry their mnemonics.
LiveRecord::LiveRecord() {
    forEachSlotHistory(*this, [](std::int32_t*, std::int32_t* age) {
        for (int k = 0; k < kHistoryLength; ++k) age[k] = k;
    });
    for (int i = 0; i < kFlagSlots; ++i) flag[i].text = kFlagMnemonics[i];
}

}  // namespace m797
