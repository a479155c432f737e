#pragma once
// A main window over no serial line, and the windows it opens.

#include <QApplication>
#include <QWidget>
#include <memory>

#include "app/main_window.h"

namespace dialogs_test {

inline std::unique_ptr<TForm1> mainWindow() {
    StartOptions options;
    options.ignoreScreenWidth = true;
    return std::make_unique<TForm1>(std::move(options));
}

template <typename W>
W* openWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<W*>(w); window && window->isVisible()) return window;
    return nullptr;
}

}  // namespace dialogs_test
