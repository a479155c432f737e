#include <gtest/gtest.h>

#include <memory>

#include <QTest>

#include "app/main_window.h"
#include "glpanel/shared_font_lists.h"

using namespace m797::gl;

namespace {

// The main window as the program makes it, shown.
std::unique_ptr<TForm1> shownMainWindow() {
    StartOptions options;
    options.ignoreScreenWidth = true;
    auto window = std::make_unique<TForm1>(std::move(options));
    window->FormCreate();
    window->show();
    return window;
}

}  // namespace

// The seven panels of the main window: their places and the fonts the chart,
// status-strip and passport handlers draw with.
TEST(MainWindowPanels, SevenPanelsWithTheirFonts) {
    const std::unique_ptr<TForm1> shown = shownMainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shown.get()));
    QCoreApplication::processEvents();
    TForm1& window = *shown;

    const struct {
        QRect place;
        bool font3D;
        std::int32_t font2DHeight;
        bool font2DBold;
    } expected[7] = {{{23, 15, 750, 115}, true, -11, false},   {{23, 146, 750, 115}, true, -11, false},
                     {{23, 277, 750, 115}, true, -11, false},  {{23, 408, 750, 115}, true, -11, false},
                     {{23, 539, 750, 115}, true, -11, false},  {{23, 674, 750, 49}, false, -11, true},
                     {{807, 324, 193, 401}, false, -12, false}};
    for (int n = 1; n <= 7; ++n) {
        SCOPED_TRACE(n);
        const auto& e = expected[n - 1];
        TOpenGLPanel* p = window.panel(n);
        ASSERT_NE(p, nullptr);
        p->capture();
        EXPECT_EQ(p->objectName(), QStringLiteral("OpenGLPanel%1").arg(n));
        EXPECT_EQ(p->geometry(), e.place);
        EXPECT_EQ(p->PFDFlags(), kDefaultPFDFlags);
        EXPECT_TRUE(p->IsDoubleBuffered());
        ASSERT_NE(p->Font2D(), nullptr);
        EXPECT_EQ(p->Font2D()->firstGlyph, 32);
        EXPECT_EQ(p->Font2D()->glyphCount, 255);
        EXPECT_EQ(p->Font2D_Type(),
                  (TFontDescription{"Arial", e.font2DHeight, e.font2DBold, false, RUSSIAN_CHARSET}));
        if (e.font3D) {
            ASSERT_NE(p->Font3D(), nullptr);
            EXPECT_EQ(p->Font3D()->firstGlyph, 0);
            EXPECT_EQ(p->Font3D()->glyphCount, 255);
            EXPECT_FLOAT_EQ(p->Font3D()->extrusion, 0.1f);
            EXPECT_EQ(p->Font3D_Format(), TFont3DFormat::f_WGL_FONT_POLYGONS);
            EXPECT_EQ(p->Font3D_Type(), (TFontDescription{"Arial", -11, true, true, RUSSIAN_CHARSET}));
        } else {
            EXPECT_EQ(p->Font3D(), nullptr);
        }
        // Each panel's paint handler draws its frames or grid.
        const QImage image = p->capture();
        EXPECT_EQ(image.size(), e.place.size());
        bool drawn = false;
        for (int y = 0; y < image.height() && !drawn; ++y)
            for (int x = 0; x < image.width() && !drawn; ++x) drawn = qGray(image.pixel(x, y)) > 20;
        EXPECT_TRUE(drawn);
    }
}

// One namespace of display lists: the five charts' identical outline and
// bitmap fonts are built once and shared; the status strip's bold and the
// passport's larger bitmap fonts are their own.
TEST(MainWindowPanels, IdenticalFontsAreBuiltOnceAndShared) {
    const int builtBefore = SharedFontLists::instance().builds();
    const std::unique_ptr<TForm1> shown = shownMainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shown.get()));
    QCoreApplication::processEvents();
    TForm1& window = *shown;
    for (int n = 1; n <= 7; ++n) ASSERT_NE(window.panel(n)->Font2D(), nullptr) << n;
    for (int n = 2; n <= 5; ++n) {
        EXPECT_TRUE(window.panel(1)->PanelShareLists(window.panel(n))) << n;
        EXPECT_EQ(window.panel(n)->Font3D()->listBase, window.panel(1)->Font3D()->listBase) << n;
        EXPECT_EQ(window.panel(n)->Font2D()->listBase, window.panel(1)->Font2D()->listBase) << n;
    }
    EXPECT_NE(window.panel(6)->Font2D()->listBase, window.panel(1)->Font2D()->listBase);
    EXPECT_NE(window.panel(7)->Font2D()->listBase, window.panel(6)->Font2D()->listBase);
    // One outline font and three bitmap fonts for the seven panels.
    EXPECT_EQ(SharedFontLists::instance().builds() - builtBefore, 4);
    // Every chart draws its texts with the shared lists.
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(window.panel(n)->capture().size(), QSize(750, 115)) << n;
}
