// The panels' small bitmap texts on grabbed frames: each glyph of "0000",
// "10000" or "P0102" stands apart from its neighbours, and the bold font of
// the status strip has stems two pixels wide. Set M797_FRAME_DIR to keep the
// frames (their corner with the text, enlarged) as PNG files for a look.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <QDir>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/record/cp1251.h"
#include "panel_fixture.h"

using namespace m797::gl;

namespace {

struct PanelFont {
    const char* name;
    std::int32_t height;
    bool bold;
};

// The 2D fonts of the charts, the status strip and the side panel.
const PanelFont kPanelFonts[] = {{"regular11", -11, false}, {"bold11", -11, true}, {"regular12", -12, false}};

QImage drawnText(const PanelFont& font, const std::string& cp1251) {
    ShownPanel shown({200, 30});
    TOpenGLPanel* panel = shown.panel;
    panel->Font2D_Enabled = true;
    panel->SetFont({"Arial", font.height, font.bold, false, RUSSIAN_CHARSET});
    panel->Font2D_FirstGylph = 32;
    panel->Font2D_NumGylph = 255;
    panel->OnInit = [](TOpenGLPanel*) { glClearColor(0, 0, 0, 1); };
    panel->OnPaint = [&cp1251](TOpenGLPanel* p) {
        glClear(GL_COLOR_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, p->width(), 0, p->height(), -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glColor3f(1, 1, 1);
        glRasterPos2i(10, 10);
        p->Draw2DText(cp1251);
    };
    if (!shown.show()) return {};
    const QImage frame = panel->capture();
    if (const char* dir = std::getenv("M797_FRAME_DIR")) {
        const QString name =
            QStringLiteral("%1-%2.png").arg(font.name).arg(QString::fromStdString(m797::cp1251ToUtf8(cp1251)));
        // The text's corner, eight times enlarged, pixel for pixel.
        const QImage corner = frame.copy(0, 0, 60, 30);
        corner.scaled(corner.size() * 8, Qt::IgnoreAspectRatio, Qt::FastTransformation)
            .save(QDir(QString::fromLocal8Bit(dir)).filePath(name));
    }
    return frame;
}

// Groups of lit pixels that touch, diagonals included: one per glyph when
// no two glyphs touch (every glyph tested here is drawn in one piece).
int touchingGroups(const QImage& frame) {
    const int w = frame.width(), h = frame.height();
    std::vector<char> seen(static_cast<std::size_t>(w * h), 0);
    auto litAt = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h && lit(frame.pixel(x, y)); };
    int groups = 0;
    std::vector<std::pair<int, int>> stack;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!litAt(x, y) || seen[static_cast<std::size_t>(y * w + x)]) continue;
            ++groups;
            stack.assign(1, {x, y});
            seen[static_cast<std::size_t>(y * w + x)] = 1;
            while (!stack.empty()) {
                const auto [cx, cy] = stack.back();
                stack.pop_back();
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = cx + dx, ny = cy + dy;
                        if (!litAt(nx, ny) || seen[static_cast<std::size_t>(ny * w + nx)]) continue;
                        seen[static_cast<std::size_t>(ny * w + nx)] = 1;
                        stack.push_back({nx, ny});
                    }
            }
        }
    return groups;
}

// The lit part of a frame as text, one '#' a pixel, for failure messages.
std::string pixelArt(const QImage& frame) {
    int top = frame.height(), bottom = -1, left = frame.width(), right = -1;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            if (lit(frame.pixel(x, y))) {
                top = std::min(top, y), bottom = std::max(bottom, y);
                left = std::min(left, x), right = std::max(right, x);
            }
    std::string art;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) art += lit(frame.pixel(x, y)) ? '#' : '.';
        art += '\n';
    }
    return art;
}

TEST(GlyphSpacing, NeighbouringGlyphsDoNotTouch) {
    // Not "94BE": Liberation Sans's '4' is as wide as its digit cell at 11
    // pixels in every hinting mode, so it meets the '9' before it.
    const std::string texts[] = {
        "0000", "BE", "10000", "OOOO", m797::toCp1251("оооо"), "8888", m797::toCp1251("Код"), "P0102"};
    for (const PanelFont& font : kPanelFonts)
        for (const std::string& text : texts) {
            const QImage frame = drawnText(font, text);
            ASSERT_FALSE(frame.isNull());
            EXPECT_EQ(touchingGroups(frame), static_cast<int>(text.size()))
                << font.name << " " << m797::cp1251ToUtf8(text) << "\n"
                << pixelArt(frame);
        }
}

// Share of the horizontal runs of lit pixels that are two pixels or wider.
double shareOfWideRuns(const QImage& frame) {
    int runs = 0, wide = 0;
    for (int y = 0; y < frame.height(); ++y) {
        int length = 0;
        for (int x = 0; x <= frame.width(); ++x) {
            if (x < frame.width() && lit(frame.pixel(x, y))) {
                ++length;
                continue;
            }
            if (length > 0) ++runs, wide += length >= 2;
            length = 0;
        }
    }
    return runs ? double(wide) / runs : 0.0;
}

TEST(GlyphSpacing, TheBoldFontHasTwoPixelStems) {
    for (const char* text : {"0000", "HHHH", "10000"}) {
        const double regular = shareOfWideRuns(drawnText(kPanelFonts[0], text));
        const double bold = shareOfWideRuns(drawnText(kPanelFonts[1], text));
        EXPECT_GT(bold, 0.75) << text;
        EXPECT_LT(regular, 0.5) << text;
    }
}

}  // namespace
