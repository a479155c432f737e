// main() for GoogleTest suites that need a QApplication (widgets, OpenGL).
// The panels' surface format must be the default before the QApplication
// exists. The main window reads and writes the per-user settings file, so
// every such suite runs with XDG_CONFIG_HOME in a folder of its own, removed
// at the end: tests never touch the user's real settings. Listing the tests
// needs no application (and no display).
#include <gtest/gtest.h>
#include <QApplication>
#include <QTemporaryDir>

#include "glpanel/opengl_panel.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QTemporaryDir config(QDir::tempPath() + QStringLiteral("/m797-test-config-XXXXXX"));
    if (config.isValid()) qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    TOpenGLPanel::installDefaultSurfaceFormat();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
