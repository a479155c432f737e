// With a scale factor of 2 (QT_SCALE_FACTOR=2, set for this suite by CTest)
// a panel draws in device pixels: its frame buffer is twice its size, its
// bitmap texts are rendered twice as high as on a plain screen, and a chart
// fills its whole frame buffer, kept parts included.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include "app/record/cp1251.h"
#include "display/catalogue/catalogue.h"
#include "display/chart_panel.h"
#include "glpanel/font_face.h"
#include "tests/display/paint_fixture.h"

using namespace m797;
using namespace m797::gl;

namespace {

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    int height() const { return bottom - top + 1; }
    int width() const { return right - left + 1; }
};

Box litBox(const QImage& image) {
    Box b;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (m797::testing::lit(image.pixel(x, y))) {
                b.left = std::min(b.left, x), b.right = std::max(b.right, x);
                b.top = std::min(b.top, y), b.bottom = std::max(b.bottom, y);
            }
    return b;
}

int glyphRows(std::int32_t height, char32_t c) {
    auto face = FontFace::open({"Arial", height, false, false, RUSSIAN_CHARSET});
    return face ? face->bitmap(c).rows : 0;
}

}  // namespace

TEST(PanelHiDpi, BitmapTextGrowsWithTheDevicePixelRatio) {
    m797::testing::PaintedPanel t(m797::testing::PanelKind::StatusStrip);  // a 2D font only: Arial -11 bold
    t.panel->SetFont({"Arial", -11, false, false, RUSSIAN_CHARSET});
    t.paint = [&](PanelSurface& s, PanelSnapshot&) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_DEPTH_TEST);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, s.panelWidth(), s.panelHeight(), 0, 1000, 0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glColor3f(1, 1, 1);
        glRasterPos2i(20, 30);
        s.draw2DText("0000");
    };
    const QImage image = t.capture();
    ASSERT_DOUBLE_EQ(t.panel->pixelRatio(), 2.0);
    ASSERT_EQ(image.size(), QSize(1500, 98));
    const Box text = litBox(image);
    ASSERT_GT(text.right, 0) << "nothing drawn";
    // As high as the glyph of a 22-pixel em, about twice the 11-pixel one.
    EXPECT_EQ(text.height(), glyphRows(-22, U'0'));
    EXPECT_GE(text.height(), 2 * glyphRows(-11, U'0') - 1);
    // It starts at the raster position in device pixels: (40, 60) is its
    // baseline's left end.
    EXPECT_GE(text.left, 40);
    EXPECT_LE(text.left, 44);
    EXPECT_EQ(text.bottom, 59);
}

TEST(PanelHiDpi, ChartFillsItsDevicePixelsAndKeepsThemExactly) {
    m797::testing::PaintedPanel chart(m797::testing::PanelKind::Chart);
    LiveRecord& r = *chart.record;
    m797::testing::PaintedPanel::setColour(r.gridColour, 0.5f);
    m797::testing::PaintedPanel::setColour(r.nameTextColour, 0.9f);
    int parameter = 1;
    chart.paint = [&](PanelSurface& s, PanelSnapshot& k) { paintChart(s, r, parameter, k); };
    const QImage first = chart.capture();
    ASSERT_EQ(first.size(), QSize(1500, 230));
    // The grid runs past every edge of the panel, so every edge of the
    // frame buffer is lit somewhere.
    EXPECT_GT(m797::testing::litIn(first, 1400, 0, 1499, 229), 100);
    EXPECT_GT(m797::testing::litIn(first, 0, 200, 1499, 229), 100);
    const int kept = chart.snapshot.keptCount();
    const QImage restored = chart.capture();
    EXPECT_EQ(chart.snapshot.keptCount(), kept) << "the kept part was drawn again";
    EXPECT_EQ(restored, first);
}
