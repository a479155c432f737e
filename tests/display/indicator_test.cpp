#include <gtest/gtest.h>

#include <memory>

#include "app/record/live_record.h"
#include "display/indicator_colours.h"
#include "display/status_strip_panel.h"

namespace m797 {
namespace {

void setFlag(LiveRecord& r, int parameter, std::uint8_t state) { r.flag[slotOf(parameter).index].state = state; }

// Indicator orders on the strip: 19 "RUS", 20 "EURO", 22 "Осн", 23 "Альт", 9 "B_LL".
TEST(StatusStrip, PairedIndicatorsLightOneSideEach) {
    const struct {
        int flag;
        std::uint8_t state;
        int lit;
        int dimmed;
    } cases[] = {{18, 1, 19, 20}, {18, 0, 20, 19}, {18, 2, 20, 19},
                 {32, 1, 23, 22}, {32, 0, 22, 23}, {32, 7, 22, 23}};
    for (const auto& c : cases) {
        auto r = std::make_unique<LiveRecord>();
        setFlag(*r, c.flag, c.state);
        EXPECT_TRUE(indicatorLit(*r, c.lit)) << c.flag << " " << int(c.state);
        EXPECT_FALSE(indicatorLit(*r, c.dimmed)) << c.flag << " " << int(c.state);
    }
}

TEST(StatusStrip, OnlyAStateOfOneLightsAFlag) {
    auto r = std::make_unique<LiveRecord>();
    for (std::uint8_t state : {0, 2, 255}) {
        setFlag(*r, 21, state);
        EXPECT_FALSE(indicatorLit(*r, 9)) << int(state);
    }
    setFlag(*r, 21, 1);
    EXPECT_TRUE(indicatorLit(*r, 9));
}

TEST(StatusStrip, FixedLabelsAndTextsAreAlwaysFull) {
    auto r = std::make_unique<LiveRecord>();
    for (int order : {18, 21, 25, 26, 27, 28}) EXPECT_TRUE(indicatorLit(*r, order)) << order;
}

TEST(IndicatorColours, BrightnessFactors) {
    const float name[4] = {0.1f, 0.99f, 0.7f, 0.9f};
    EXPECT_FLOAT_EQ(withBrightness(name, kDimmed)[3], 0.3f);
    EXPECT_FLOAT_EQ(withBrightness(name, kFrame)[3], 0.45f);
    EXPECT_FLOAT_EQ(withBrightness(name, kCaption)[3], 0.5f);
    EXPECT_FLOAT_EQ(withBrightness(name, kCaption)[1], 0.99f);
}

}  // namespace
}  // namespace m797
