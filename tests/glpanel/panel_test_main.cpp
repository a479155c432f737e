// main() of the widget tests: the panels' surface format must be the default
// before the QApplication exists. Listing the tests (CTest's discovery, run
// at build time without a display) needs no application.
#include <QApplication>
#include <gtest/gtest.h>

#include "glpanel/opengl_panel.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    TOpenGLPanel::installDefaultSurfaceFormat();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
