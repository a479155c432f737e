#pragma once
// What the tests of the running main window share: the dialogs left open
// go before the window (they hold its record), and waiting for poll cycles.

#include <QApplication>
#include <QDialog>
#include <memory>

#include "app/main_window.h"
#include "ecu/com_port.h"
#include "tests/support/spin_until.h"

namespace dialogs_test {

// Deletes the dialogs still open, then the window.
inline void closeWindowAndDialogs(std::unique_ptr<TForm1>& window) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog*>(w)) delete w;
    window.reset();
}

// Lets `n` more poll cycles of the window's acquisition thread pass.
inline bool waitForCycles(TForm1& window, long n) {
    const long target = window.acquisitionThread()->pollCycles() + n;
    return m797::testing::spinUntil([&] { return window.acquisitionThread()->pollCycles() >= target; });
}

}  // namespace dialogs_test
