// main() for GoogleTest suites that need a QApplication (widgets, OpenGL).
// The main window reads and writes the per-user settings file, so every
// such suite runs with XDG_CONFIG_HOME in a folder of its own, removed at
// the end: tests never touch the user's real settings.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir config(QDir::tempPath() + QStringLiteral("/m797-test-config-XXXXXX"));
    if (config.isValid()) qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
