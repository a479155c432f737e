#include "app/screen_width.h"

#include <QGuiApplication>
#include <QScreen>

namespace m797 {
namespace {
int testWidth = 0;
}

int primaryScreenWidth() {
    if (testWidth > 0) return testWidth;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().width() : 0;
}

std::string screenNotSuitedText(int width) {
    return "m797diag: the screen is " + std::to_string(width) +
           " pixels wide; the window is laid out for a screen 1024 pixels wide.\n"
           "m797diag: start it with --ignore-screen-width to use it on this screen.\n";
}

void setScreenWidthForTesting(int width) { testWidth = width; }

}  // namespace m797
