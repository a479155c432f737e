#include <gtest/gtest.h>

#include "display/indicator_colours.h"
#include "display/passport_panel.h"
#include "display/status_strip_panel.h"
#include "paint_fixture.h"
#include "tests/ecu/link_fixture.h"

namespace m797 {
namespace {

using testing::litIn;
using testing::PaintedPanel;
using testing::PanelKind;

// Brightest grey level inside a box of the image.
int peak(const QImage& image, int left, int top, int right, int bottom) {
    int best = 0;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) best = std::max(best, qGray(image.pixel(x, y)));
    return best;
}

TEST(StatusStripPaint, BrightnessOfLitDimmedAndFramedItems) {
    PaintedPanel strip(PanelKind::StatusStrip);
    LiveRecord& r = *strip.record;
    PaintedPanel::setColour(r.nameTextColour, 0.9f);
    r.flag[slotOf(18).index].state = 1;  // B_KSTUMS: "RUS" lit, "EURO" dimmed
    strip.paint = [&](PanelSurface& s, PanelSnapshot& k) { paintStatusStrip(s, r, k); };
    const QImage image = strip.capture();
    ASSERT_EQ(image.size(), QSize(750, 49));
    const int rus = peak(image, 480, 30, 505, 40);
    const int euro = peak(image, 445, 30, 475, 40);
    const int frame = peak(image, 2, 2, 6, 46);  // left edge of frame 1
    EXPECT_NEAR(rus, 255 * 0.9, 20);
    EXPECT_NEAR(euro, 255 * 0.9 * kDimmed, 20);
    EXPECT_NEAR(frame, 255 * 0.9 * kFrame, 25);
    EXPECT_NEAR(peak(image, 10, 8, 40, 18), 255 * 0.9 * kDimmed, 20);  // "S_AS", flag off
}

TEST(StatusStripPaint, StatusTextErrorCountAndPortName) {
    PaintedPanel strip(PanelKind::StatusStrip);
    LiveRecord& r = *strip.record;
    PaintedPanel::setColour(r.nameTextColour, 1.0f);
    strip.paint = [&](PanelSurface& s, PanelSnapshot& k) { paintStatusStrip(s, r, k); };
    const QImage before = strip.capture();
    EXPECT_EQ(litIn(before, 590, 31, 740, 40), 0);  // empty status text draws nothing
    EXPECT_GT(litIn(before, 685, 9, 700, 18), 5);   // "0"
    EXPECT_GT(litIn(before, 710, 9, 745, 18), 20);  // "Com1"
    {
        std::lock_guard guard(r.lock);
        r.statusText = toCp1251("Данные получены.");
    }
    EXPECT_GT(litIn(strip.capture(), 590, 31, 740, 40), 50);
}

// The port in use, whatever its short name, shows whole in its field at
// the strip's right end, clear of the error count before it.
TEST(StatusStripPaint, PortNamesFitTheirField) {
    PaintedPanel strip(PanelKind::StatusStrip);
    LiveRecord& r = *strip.record;
    PaintedPanel::setColour(r.nameTextColour, 1.0f);
    strip.paint = [&](PanelSurface& s, PanelSnapshot& k) { paintStatusStrip(s, r, k); };
    auto withPort = [&](const char* name) {
        {
            std::lock_guard guard(r.lock);
            r.portText = toCp1251(name);
            r.errorCount = 199;
        }
        return strip.capture();
    };
    const QImage none = withPort("");
    for (const char* name :
         {"USB0", "ACM0", "BT0", "BT12", "SIM", "Com1", "USB10", "Com4", "USB…", "пор…", "ttyS0"}) {
        const QImage image = withPort(name);
        int left = image.width(), right = -1;
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (image.pixel(x, y) != none.pixel(x, y)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        EXPECT_LT(right, image.width() - 1) << name << " runs off the strip";
        EXPECT_GE(left, 705) << name << " runs into the error count";
        EXPECT_GT(right - left, 10) << name;
    }
}

TEST(PassportPaint, ShowsTheIdentificationOfTheSimulatedControlUnit) {
    testing::Link link;
    link.port->resume();
    ASSERT_TRUE(testing::waitFor([&] { return link.cyclesWithData > 0; }));
    link.port->suspend();
    PaintedPanel passport(PanelKind::Passport);
    LiveRecord& r = link.record;
    PaintedPanel::setColour(r.nameTextColour, 1.0f);
    passport.paint = [&](PanelSurface& s, PanelSnapshot& k) { paintPassport(s, r, k); };
    const QImage image = passport.capture();
    ASSERT_EQ(image.size(), QSize(193, 401));
    const int identRows[11] = {50, 80, 110, 140, 170, 200, 230, 260, 330, 360, 390};
    for (int i = 0; i < 11; ++i) {
        EXPECT_GT(litIn(image, 35, identRows[i] - 10, 178, identRows[i]), 20) << i;
        EXPECT_EQ(litIn(image, 12, identRows[i] - 7, 33, identRows[i]), 0) << i;  // indented under its caption
    }
    {
        std::lock_guard guard(r.lock);
        for (auto& t : r.identText) t.clear();
    }
    const QImage empty = passport.capture();
    for (int row : identRows) EXPECT_EQ(litIn(empty, 35, row - 10, 178, row), 0) << row;
}

}  // namespace
}  // namespace m797
