#include <gtest/gtest.h>

#include <set>

#include "app/record/live_record.h"

namespace m797 {
namespace {

TEST(LiveRecord, StartsWithFlatHistoriesAndAgesEqualToIndex) {
    auto r = std::make_unique<LiveRecord>();
    int slots = 0;
    forEachSlotHistory(*r, [&](std::int32_t* history, std::int32_t* age) {
        ++slots;
        for (int k = 0; k < kHistoryLength; ++k) {
            ASSERT_EQ(history[k], 0);
            ASSERT_EQ(age[k], k);
        }
    });
    EXPECT_EQ(slots, 64);
    EXPECT_EQ(r->newSample.load(), 0);
    EXPECT_EQ(r->linkUp.load(), 0);
    for (const auto& t : r->identText) EXPECT_TRUE(t.empty());
    EXPECT_TRUE(r->statusText.empty());
    for (const auto& s : r->analog) EXPECT_TRUE(s.text.empty());
}

TEST(LiveRecord, FlagSlotsCarryTheirMnemonics) {
    auto r = std::make_unique<LiveRecord>();
    const struct {
        int parameter;
        const char* mnemonic;
    } cases[] = {{15, "B_EKP"}, {18, "B_KSTUMS"}, {25, "B_LUSTOP"}, {33, "B_VL"}, {64, "S_AS"}};
    for (const auto& c : cases) {
        const SlotRef ref = slotOf(c.parameter);
        ASSERT_EQ(ref.kind, SlotKind::Flag) << c.parameter;
        EXPECT_EQ(r->flag[ref.index].text, c.mnemonic);
    }
}

TEST(LiveRecord, SlotKindsCoverTheParameterNumbers) {
    std::set<int> analog, counter, flag, none;
    for (int p = 1; p <= kParameterCount; ++p) {
        const SlotRef ref = slotOf(p);
        (ref.kind == SlotKind::Analog    ? analog
         : ref.kind == SlotKind::Counter ? counter
         : ref.kind == SlotKind::Flag    ? flag
                                         : none)
            .insert(p);
    }
    EXPECT_EQ(analog.size(), 38u);
    EXPECT_EQ(counter, (std::set<int>{46, 47, 48, 49, 50, 68}));
    EXPECT_EQ(flag.size(), 20u);
    EXPECT_EQ(none, (std::set<int>{6, 7, 12, 13, 14, 34, 35, 36, 37, 41, 42, 57, 59, 71, 73}));
    for (int i = 0; i < kAnalogSlots; ++i) EXPECT_EQ(slotOf(analogParameter(i)).index, i);
    for (int p : {0, -1, 80, 1000}) EXPECT_EQ(slotOf(p).kind, SlotKind::None) << p;
}

}  // namespace
}  // namespace m797
