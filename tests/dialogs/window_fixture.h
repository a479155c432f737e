#pragma once
// Finds the window of a kind that is on show.

#include <QApplication>
#include <QWidget>

namespace dialogs_test {

template <typename W>
W* openWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<W*>(w); window && window->isVisible()) return window;
    return nullptr;
}

}  // namespace dialogs_test
