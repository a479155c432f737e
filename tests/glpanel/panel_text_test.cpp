#include <gtest/gtest.h>

#include <GL/gl.h>

#include <functional>

#include "app/record/cp1251.h"
#include "glpanel/font_face.h"
#include "glpanel/glyph_lists.h"
#include "glpanel/shared_font_lists.h"
#include "panel_fixture.h"

using namespace m797::gl;

namespace {

// A panel with the charts' fonts: 2D Arial -11 from code 32, 255 glyphs; 3D
// Arial bold italic -11 from code 0, 255 glyphs, extrusion 0.1, polygons.
// `draw` runs inside OnPaint over a black frame in white.
struct TextPanel : ShownPanel {
    std::function<void(TOpenGLPanel*)> draw;
    TextPanel() {
        panel->Font2D_Enabled = true;
        panel->SetFont({"Arial", -11, false, false, RUSSIAN_CHARSET});
        panel->Font2D_FirstGylph = 32;
        panel->Font2D_NumGylph = 255;
        panel->Font3D_Enabled = true;
        panel->SetFont3DType({"Arial", -11, true, true, RUSSIAN_CHARSET});
        panel->Font3D_FirstGylph = 0;
        panel->Font3D_NumGylph = 255;
        panel->OnInit = [](TOpenGLPanel*) { glClearColor(0, 0, 0, 1); };
        panel->OnPaint = [this](TOpenGLPanel* p) {
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glDisable(GL_DEPTH_TEST);
            glColor3f(1, 1, 1);
            if (draw) draw(p);
        };
    }
    QImage drawn(std::function<void(TOpenGLPanel*)> d) {
        draw = std::move(d);
        return panel->capture();
    }
};

// Pixels: 2D text in a y-up orthographic layer; 3D text in em units, one em
// about 25 pixels high.
void pixelLayer(TOpenGLPanel* p) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, p->width(), 0, p->height(), -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
void emLayer(TOpenGLPanel*) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-0.2, 7.8, -0.6, 1.8, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

const std::string kCyrillic = m797::toCp1251("ЖЕ");

}  // namespace

TEST(PanelText, TwoDimensionalTextOutsideTheGlyphRangeIsNotDrawnAtAll) {
    TextPanel t;
    ASSERT_TRUE(t.show());
    const struct {
        std::string text;
        bool drawn;
    } cases[] = {
        {"ABC", true}, {"AB\tC", false}, {std::string("A\x1F", 2), false}, {kCyrillic, true}, {"", false}};
    for (const auto& c : cases) {
        const QImage image = t.drawn([&](TOpenGLPanel* p) {
            pixelLayer(p);
            glRasterPos2i(20, 20);
            p->Draw2DText(c.text);
        });
        EXPECT_EQ(litPixels(image) > 0, c.drawn) << c.text;
    }
}

TEST(PanelText, CyrillicTwoDimensionalTextStandsRightOfAndAboveTheRasterPosition) {
    TextPanel t;
    ASSERT_TRUE(t.show());
    constexpr int x0 = 50, y0 = 20;  // y counted upward from the bottom
    const QImage image = t.drawn([&](TOpenGLPanel* p) {
        pixelLayer(p);
        glRasterPos2i(x0, y0);
        p->Draw2DText(kCyrillic);
    });
    int minX = image.width(), minY = image.height(), maxY = -1, count = 0;
    for (int row = 0; row < image.height(); ++row) {
        for (int x = 0; x < image.width(); ++x) {
            if (!lit(image.pixel(x, row))) continue;
            const int y = image.height() - 1 - row;
            minX = std::min(minX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
            ++count;
        }
    }
    ASSERT_GT(count, 20);
    EXPECT_GE(minX, x0);
    EXPECT_GE(minY, y0);
    EXPECT_GE(maxY, y0 + 6);  // capital letters of an 11-pixel font
    EXPECT_LE(maxY, y0 + 12);
    // Two different letters, not the face's missing-glyph box twice.
    const QImage zhe = t.drawn([&](TOpenGLPanel* p) {
        pixelLayer(p);
        glRasterPos2i(x0, y0);
        p->Draw2DText(m797::toCp1251("Ж"));
    });
    const QImage sha = t.drawn([&](TOpenGLPanel* p) {
        pixelLayer(p);
        glRasterPos2i(x0, y0);
        p->Draw2DText(m797::toCp1251("Ш"));
    });
    EXPECT_NE(zhe, sha);
}

TEST(PanelText, ThreeDimensionalFontOfZeroTo254RefusesCode255) {
    TextPanel t;
    ASSERT_TRUE(t.show());
    const struct {
        std::string text;
        bool drawn;
    } cases[] = {
        {m797::toCp1251("ю"), true}, {m797::toCp1251("я"), false}, {m797::toCp1251("Бя"), false}, {"12.5", true}};
    for (const auto& c : cases) {
        const QImage image = t.drawn([&](TOpenGLPanel* p) {
            emLayer(p);
            p->Draw3DText(c.text);
        });
        EXPECT_EQ(litPixels(image) > 30, c.drawn) << m797::cp1251ToUtf8(c.text);
    }
}

TEST(PanelText, ThreeDimensionalTextRestoresTheFrontFace) {
    TextPanel t;
    ASSERT_TRUE(t.show());
    GLint afterText = 0, afterBareList = 0, afterNoFont = 0;
    t.drawn([&](TOpenGLPanel* p) {
        emLayer(p);
        glFrontFace(GL_CW);
        p->Draw3DText("A");
        glGetIntegerv(GL_FRONT_FACE, &afterText);
        // The glyph lists themselves do change it: the restore is what keeps it.
        glCallList(p->Font3D()->listBase + 'A' - p->Font3D()->firstGlyph);
        glGetIntegerv(GL_FRONT_FACE, &afterBareList);
        glFrontFace(GL_CW);
        p->Draw3DText(nullptr, "A");
        glGetIntegerv(GL_FRONT_FACE, &afterNoFont);
    });
    EXPECT_EQ(afterText, GL_CW);
    EXPECT_EQ(afterBareList, GL_CCW);
    EXPECT_EQ(afterNoFont, GL_CW);
}

TEST(PanelText, ThreeDimensionalTextSize) {
    TextPanel t;
    ASSERT_TRUE(t.show());
    t.panel->capture();
    const OpenGLFont3D* font = t.panel->Font3D();
    ASSERT_NE(font, nullptr);
    double x = -1, y = -1, z = -1;
    t.panel->Get3DTextSize("W", x, y, z);
    const GlyphMetricsFloat& w = font->glyphMetrics['W'];
    EXPECT_DOUBLE_EQ(x, w.gmfBlackBoxX);
    EXPECT_DOUBLE_EQ(y, w.gmfBlackBoxY);
    EXPECT_DOUBLE_EQ(z, 0.1f);
    EXPECT_GT(x, 0.7);  // a capital W in em units
    EXPECT_LT(x, 1.2);
    EXPECT_GT(y, 0.6);
    EXPECT_LT(y, 0.8);
    EXPECT_GT(w.gmfCellIncX, 0.7f);
    t.panel->Get3DTextSize(m797::toCp1251("Wя"), x, y, z);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(z, 0);
}

TEST(PanelText, PanelWithoutThreeDimensionalFontDrawsNothingAndKeepsItsState) {
    ShownPanel s;
    s.panel->Font2D_Enabled = true;
    s.panel->OnInit = [](TOpenGLPanel*) {};
    GLint frontFace = 0, listBase = -1;
    s.panel->OnPaint = [&](TOpenGLPanel* p) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        emLayer(p);
        glColor3f(1, 1, 1);
        glFrontFace(GL_CW);
        p->Draw3DText("123");
        glGetIntegerv(GL_FRONT_FACE, &frontFace);
        glGetIntegerv(GL_LIST_BASE, &listBase);
    };
    ASSERT_TRUE(s.show());
    const QImage image = s.panel->capture();
    EXPECT_EQ(s.panel->Font3D(), nullptr);
    EXPECT_EQ(litPixels(image), 0);
    EXPECT_EQ(frontFace, GL_CW);
    EXPECT_EQ(listBase, 0);
}

// Both kinds of text on one chart-sized panel, as the charts draw them: the
// 2D title in the top half, the 3D value in the bottom half. With
// M797_GRAB_DIR set the grab is kept there for a look.
TEST(PanelText, CyrillicTextOfBothKindsInAGrab) {
    TextPanel t;
    t.panel->resize(750, 115);
    ASSERT_TRUE(t.show());
    const QImage image = t.drawn([](TOpenGLPanel* p) {
        pixelLayer(p);
        glRasterPos2i(180, 90);
        p->Draw2DText(m797::toCp1251("Обороты двигателя, об/мин"));
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-0.5, 29.5, -0.5, 4.1, -10, 10);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslated(1, 0, 0);
        glScaled(1.5, 1.5, 1);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        p->Draw3DText(m797::toCp1251("Ждём 850 об/мин"));
    });
    if (const QByteArray dir = qgetenv("M797_GRAB_DIR"); !dir.isEmpty())
        image.save(QString::fromLocal8Bit(dir) + QStringLiteral("/cyrillic_text.png"));
    EXPECT_GT(litPixels(image.copy(0, 0, 750, 40)), 100);    // the 2D title
    EXPECT_GT(litPixels(image.copy(0, 60, 750, 55)), 1000);  // the 3D value
}

// An eight drawn large: one em is 200 pixels, so its strokes are about 18
// pixels wide. The outline lights one or two pixels per pixel of its
// contours, whatever the rasteriser; the filled eight lights its strokes'
// whole width. At the usual 25 pixels an em both are about 2 pixels wide,
// and which lit more was up to the rasteriser.
void largeEmLayer(TOpenGLPanel*) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-0.2, 1.8, -0.2, 1.0, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
}

TEST(PanelText, CallersOwnFontsAsLinesOrPolygonsAndRefusedRequests) {
    TextPanel t;
    t.window->resize(420, 260);
    t.panel->resize(400, 240);
    ASSERT_TRUE(t.show());
    int lines = 0, polygons = 0;
    bool refused = false;
    t.drawn([&](TOpenGLPanel* p) {
        const TFontDescription arial{"Arial", -20, false, false, RUSSIAN_CHARSET};
        refused = p->Create2DFont(nullptr, 32, 10) == nullptr && p->Create2DFont(&arial, 32, 0) == nullptr &&
                  p->Create3DFont(nullptr, 48, 10, 0, 0.1f, 1) == nullptr;
        const auto outline = p->Create3DFont(&arial, 48, 10, 0.0f, 0.1f, 0);
        const auto filled = p->Create3DFont(&arial, 48, 10, 0.01f, 0.1f, 1);
        ASSERT_TRUE(outline && filled);
        largeEmLayer(p);
        p->Draw3DText(outline.get(), "8");
        QImage frame(p->width(), p->height(), QImage::Format_RGB32);
        glReadPixels(0, 0, p->width(), p->height(), GL_BGRA, GL_UNSIGNED_BYTE, frame.bits());
        lines = litPixels(frame);
        glClear(GL_COLOR_BUFFER_BIT);
        p->Draw3DText(filled.get(), "8");
        glReadPixels(0, 0, p->width(), p->height(), GL_BGRA, GL_UNSIGNED_BYTE, frame.bits());
        polygons = litPixels(frame);
        p->DeleteFont(*outline);
        p->DeleteFont(*filled);
    });
    EXPECT_TRUE(refused);
    EXPECT_GT(lines, 20);
    EXPECT_GT(polygons, lines);  // a filled eight covers more than its outline
    EXPECT_GT(polygons, 3 * lines) << lines << " lit by the outline";
}

// Panels asking for the same fonts share one set of lists, which lives as
// long as one of them does; after the last is gone the fonts are built anew.
TEST(PanelText, PanelsWithTheSameFontsShareTheirListsUntilTheLastGoes) {
    const int before = SharedFontLists::instance().builds();
    auto a = std::make_unique<TextPanel>();
    auto b = std::make_unique<TextPanel>();
    ASSERT_TRUE(a->show());
    ASSERT_TRUE(b->show());
    ASSERT_NE(a->panel->Font2D(), nullptr);
    ASSERT_NE(b->panel->Font3D(), nullptr);
    EXPECT_EQ(a->panel->Font2D()->listBase, b->panel->Font2D()->listBase);
    EXPECT_EQ(a->panel->Font3D()->listBase, b->panel->Font3D()->listBase);
    EXPECT_EQ(SharedFontLists::instance().builds() - before, 2);  // one bitmap, one outline font
    a.reset();
    const QImage text = b->drawn([](TOpenGLPanel* p) {
        pixelLayer(p);
        glRasterPos2i(20, 20);
        p->Draw2DText("0000");
    });
    EXPECT_GT(litPixels(text), 20) << "the lists went with the first panel";
    b.reset();
    TextPanel c;
    ASSERT_TRUE(c.show());
    EXPECT_EQ(SharedFontLists::instance().builds() - before, 4);
}

namespace {
QImage readFrame(TOpenGLPanel* p) {
    QImage frame(p->width(), p->height(), QImage::Format_RGB32);
    glReadPixels(0, 0, p->width(), p->height(), GL_BGRA, GL_UNSIGNED_BYTE, frame.bits());
    return frame;
}
}  // namespace

// The panel's own outline font compiles a glyph when a text first shows it;
// what it draws is what the whole font compiled at once draws, pixel for pixel.
TEST(PanelText, OutlineGlyphsCompiledWhenFirstShownDrawLikeTheWholeFont) {
    TextPanel t;
    ASSERT_TRUE(t.show());
    const std::string text = m797::toCp1251("-14.098 Жж");
    QImage panelFont, wholeFont;
    t.drawn([&](TOpenGLPanel* p) {
        emLayer(p);
        p->Draw3DText(text);
        panelFont = readFrame(p);
        glClear(GL_COLOR_BUFFER_BIT);
        const auto whole = p->Create3DFont(&p->Font3D_Type(), p->Font3D_FirstGylph, p->Font3D_NumGylph,
                                           p->Font3D_MaxDeviation, p->Font3D_Extrustion, 1);
        ASSERT_TRUE(whole);
        emLayer(p);  // the glyphs moved the pen
        p->Draw3DText(whole.get(), text);
        wholeFont = readFrame(p);
        p->DeleteFont(*whole);
    });
    EXPECT_GT(litPixels(panelFont), 200);
    EXPECT_TRUE(panelFont == wholeFont);
}

// Glyphs are compiled once, only those of the texts shown; bytes outside
// the font's range are left alone.
TEST(PanelText, OutlineGlyphListsCompileEachShownGlyphOnce) {
    TextPanel t;
    ASSERT_TRUE(t.show());
    std::vector<int> counts;
    QImage drawnTwice;
    t.drawn([&](TOpenGLPanel* p) {
        emLayer(p);
        const GLuint base = glGenLists(64);
        OutlineGlyphLists glyphs(FontFace::open(p->Font3D_Type()), 48, 64, base, 0.0f, 0.1f,
                                 TFont3DFormat::f_WGL_FONT_POLYGONS);
        EXPECT_GT(glyphs.metrics()['8' - 48].gmfCellIncX, 0.1f);  // known before any list is compiled
        counts.push_back(glyphs.compiledCount());
        for (const char* s : {"8", "88", "1.8", "\x01 Z\xff"}) {
            glyphs.compileFor(s);
            counts.push_back(glyphs.compiledCount());
        }
        glListBase(base - 48);
        glCallLists(1, GL_UNSIGNED_BYTE, "8");
        glListBase(0);
        drawnTwice = readFrame(p);
        glDeleteLists(base, 64);
    });
    EXPECT_EQ(counts, (std::vector<int>{0, 1, 1, 2, 3}));  // '.' is below 48, 0xff above 111
    EXPECT_GT(litPixels(drawnTwice), 50);
}

// The glyphs of numbers come compiled with the panel's outline font (in the
// context that built it); any other glyph is compiled when first shown.
TEST(PanelText, NumberGlyphsComeWithTheOutlineFontOthersWhenFirstShown) {
    TextPanel t;
    ASSERT_TRUE(t.show());
    ASSERT_NE(t.panel->Font3DGlyphs(), nullptr);
    const int withFont = t.panel->Font3DGlyphs()->compiledCount();
    EXPECT_EQ(withFont, 14);  // ten digits, '.', ',', '-' and the space
    std::vector<int> counts;
    t.drawn([&](TOpenGLPanel* p) {
        emLayer(p);
        for (const std::string& text : {std::string("-1 024,5"), m797::toCp1251("Ж2"), std::string("9.")}) {
            p->Draw3DText(text);
            counts.push_back(p->Font3DGlyphs()->compiledCount());
        }
    });
    EXPECT_EQ(counts, (std::vector<int>{withFont, withFont + 1, withFont + 1}));
}
