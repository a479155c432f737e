#include <gtest/gtest.h>

#include "app/record/display_clock.h"
#include "app/record/live_record.h"

namespace m797 {
namespace {

AnalogSlot& analogOf(LiveRecord& r, int parameter) { return r.analog[slotOf(parameter).index]; }
FlagSlot& flagOf(LiveRecord& r, int parameter) { return r.flag[slotOf(parameter).index]; }

struct Clock : ::testing::Test {
    std::unique_ptr<LiveRecord> owned = std::make_unique<LiveRecord>();
    LiveRecord& r = *owned;
    void deliver() {
        r.newSample = 1;
        r.linkUp = 1;
    }
};

TEST_F(Clock, PlotValuesAreTruncatedTowardZero) {
    const struct {
        float plot;
        int stored;
    } cases[] = {{37.9f, 37}, {-2.7f, -2}, {99.99f, 99}, {0.5f, 0}};
    for (const auto& c : cases) {
        analogOf(r, 2).plot = c.plot;
        deliver();
        displayTick(r, false);
        EXPECT_EQ(analogOf(r, 2).history[1], c.stored) << c.plot;
        EXPECT_EQ(analogOf(r, 2).age[1], 0);
    }
}

TEST_F(Clock, NothingAgesBeforeTheLinkIsUp) {
    r.newSample = 1;
    const TickOutcome t = displayTick(r, false);
    EXPECT_FALSE(t.repaintLivePanels);
    EXPECT_EQ(analogOf(r, 2).age[5], 5);
    EXPECT_EQ(r.newSample.load(), 1);
}

TEST_F(Clock, AgesEverySampleAndAppendsOnlyWholeSetsOncePerTick) {
    flagOf(r, 21).state = 1;
    flagOf(r, 21).plot = 80;
    r.counter[0].plot = 100.0f;
    deliver();
    displayTick(r, false);
    const TickOutcome second = displayTick(r, false);  // no new sample: ageing only
    EXPECT_TRUE(second.repaintLivePanels);
    EXPECT_EQ(flagOf(r, 21).history[1], 80);
    EXPECT_EQ(flagOf(r, 21).age[1], 1);
    EXPECT_EQ(flagOf(r, 21).history[2], 0);
    EXPECT_EQ(r.counter[0].history[1], 100);
    EXPECT_EQ(analogOf(r, 79).age[1], 1);  // every slot got the sample
    EXPECT_EQ(analogOf(r, 79).age[2], 3);  // initial age 1, aged twice, moved once
    EXPECT_EQ(analogOf(r, 79).age[1024], 1023 + 2);
}

TEST_F(Clock, FlagHistoriesHoldOnlyZeroAndEighty) {
    for (int i = 0; i < 50; ++i) {
        flagOf(r, 15).plot = (i % 3 == 0) ? 80 : 0;
        deliver();
        displayTick(r, false);
    }
    for (int k = 1; k < kHistoryLength; ++k) {
        const int h = flagOf(r, 15).history[k];
        EXPECT_TRUE(h == 0 || h == 80) << k;
    }
}

TEST_F(Clock, KillsItselfOnceStartIsEnabledButFinishesTheTick) {
    deliver();
    const TickOutcome t = displayTick(r, true);
    EXPECT_TRUE(t.killClock);
    EXPECT_TRUE(t.repaintLivePanels);
    EXPECT_EQ(r.newSample.load(), 0);
}

TEST_F(Clock, TheOldestSampleDropsOffTheEnd) {
    for (int i = 1; i <= kHistoryLength + 3; ++i) {
        analogOf(r, 1).plot = static_cast<float>(i);
        deliver();
        displayTick(r, false);
    }
    EXPECT_EQ(analogOf(r, 1).history[1], kHistoryLength + 3);
    EXPECT_EQ(analogOf(r, 1).history[1024], kHistoryLength + 3 - 1023);
}

}  // namespace
}  // namespace m797
