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

void setScreenWidthForTesting(int width) { testWidth = width; }

}  // namespace m797
