#include <gtest/gtest.h>

#include "app/record/cp1251.h"
#include "display/chart_panel.h"
#include "display/panel_init.h"
#include "paint_fixture.h"

namespace m797 {
namespace {

using testing::litIn;
using testing::litPixels;
using testing::PaintedPanel;
using testing::PanelKind;

struct Chart : ::testing::Test {
    PaintedPanel chart{PanelKind::Chart};
    LiveRecord& r = *chart.record;
    int parameter = 2;
    Chart() {
        chart.paint = [this](PanelSurface& s, PanelSnapshot& k) { paintChart(s, r, parameter, k); };
    }
    void flatHistory(int value) {
        AnalogSlot& s = r.analog[slotOf(parameter).index];
        for (int k = 0; k < kHistoryLength; ++k) {
            s.history[k] = value;
            s.age[k] = k;
        }
    }
};

TEST_F(Chart, AFlatHistoryOfFiftyIsAHorizontalLineNearRow59) {
    PaintedPanel::setColour(r.traceColour, 1.0f);
    flatHistory(50);
    const QImage image = chart.capture();
    ASSERT_EQ(image.size(), QSize(750, 115));
    for (int x : {2, 100, 375, 600, 747}) {
        EXPECT_GT(litIn(image, x, 56, x, 62), 0) << x;
        EXPECT_EQ(litIn(image, x, 0, x, 52), 0) << x;
        EXPECT_EQ(litIn(image, x, 66, x, 114), 0) << x;
    }
}

TEST_F(Chart, WithoutGridBrightnessOnlyTraceAndTextsRemain) {
    PaintedPanel::setColour(r.gridColour, 0.4f);
    const int withGrid = litIn(chart.capture(), 0, 20, 749, 40);
    EXPECT_GT(withGrid, 1000);  // grid lines about 11 pixels apart cross this band
    PaintedPanel::setColour(r.gridColour, 0.0f);
    PaintedPanel::setColour(r.traceColour, 1.0f);
    PaintedPanel::setColour(r.nameTextColour, 1.0f);
    flatHistory(50);
    const QImage image = chart.capture();
    EXPECT_EQ(litIn(image, 0, 20, 749, 40), 0);
    EXPECT_GT(litIn(image, 0, 56, 749, 62), 700);  // trace
    EXPECT_GT(litIn(image, 180, 0, 450, 12), 20);  // title
}

TEST_F(Chart, ANumberOutsideTheCatalogueGivesTheGridOnly) {
    for (int p : {0, 80}) {
        parameter = p;
        PaintedPanel::setColour(r.gridColour, 0.0f);
        PaintedPanel::setColour(r.traceColour, 1.0f);
        PaintedPanel::setColour(r.nameTextColour, 1.0f);
        PaintedPanel::setColour(r.valueTextColour, 1.0f);
        EXPECT_EQ(litPixels(chart.capture()), 0) << p;
        PaintedPanel::setColour(r.gridColour, 0.4f);
        EXPECT_GT(litPixels(chart.capture()), 5000) << p;
    }
}

TEST_F(Chart, TitleAndScaleLabelsSitOnTheirRows) {
    PaintedPanel::setColour(r.nameTextColour, 1.0f);
    const QImage image = chart.capture();
    EXPECT_GT(litIn(image, 180, 0, 400, 11), 30);  // title, baseline at row 10
    EXPECT_EQ(litIn(image, 180, 13, 400, 50), 0);
    EXPECT_GT(litIn(image, 18, 0, 40, 11), 5);     // "24"
    EXPECT_GT(litIn(image, 18, 50, 40, 61), 5);    // "12"
    EXPECT_GT(litIn(image, 18, 105, 30, 114), 5);  // "0"
    EXPECT_EQ(litIn(image, 18, 14, 40, 46), 0);
    EXPECT_EQ(litIn(image, 0, 0, 16, 114), 0);  // nothing left of the labels
}

TEST_F(Chart, TheValueTextIsDrawnLargeFromAboutColumn49) {
    PaintedPanel::setColour(r.valueTextColour, 1.0f);
    {
        std::lock_guard guard(r.lock);
        r.analog[slotOf(parameter).index].text = "13.992";
    }
    const QImage image = chart.capture();
    EXPECT_EQ(litIn(image, 0, 0, 40, 114), 0);
    EXPECT_GT(litIn(image, 45, 30, 330, 100), 2000);
    EXPECT_EQ(litIn(image, 0, 103, 749, 114), 0);
}

TEST_F(Chart, AReservedEntryShowsItsTitleAndNoValue) {
    parameter = 57;
    PaintedPanel::setColour(r.nameTextColour, 1.0f);
    PaintedPanel::setColour(r.valueTextColour, 1.0f);
    const QImage image = chart.capture();
    EXPECT_GT(litIn(image, 180, 0, 260, 11), 10);  // "Резерв Е3."
    EXPECT_EQ(litIn(image, 0, 13, 749, 114), 0);   // no labels, trace or value
}

// The grid is drawn as one batch of segments; it must light exactly the
// pixels that one strip per line lights (each line on its own, the way the
// grid was first drawn), crossings included.
TEST_F(Chart, TheGridInOneBatchEqualsTheGridLineByLine) {
    parameter = 0;  // outside the catalogue: the grid only
    PaintedPanel::setColour(r.gridColour, 0.4f);
    r.gridColour[1] = 0.7f;
    const QImage batch = chart.capture();
    chart.paint = [this](PanelSurface&, PanelSnapshot&) {
        beginLinePaint();
        glLoadIdentity();
        glTranslated(-400, -50, -150);
        auto line = [&](int x1, int y1, int x2, int y2) {
            glColor4fv(r.gridColour);
            glBegin(GL_LINE_STRIP);
            glVertex3i(x1, y1, 0);
            glVertex3i(x2, y2, 0);
            glEnd();
        };
        for (int x = 0; x <= 750; x += 5) line(x, 0, x, 115);
        for (int y = 0; y <= 115; y += 5) line(0, y, 750, y);
        glPopMatrix();
    };
    const QImage lineByLine = chart.capture();
    EXPECT_GT(litPixels(batch), 5000);
    EXPECT_TRUE(batch == lineByLine);
}

}  // namespace
}  // namespace m797
