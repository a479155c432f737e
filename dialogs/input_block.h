#pragma once
// The main window takes no input while a dialog opened from it is up. A
// disabled widget would do that too, but Qt draws it greyed: the background,
// the title and every caption. Here the window keeps its look; its mouse,
// keyboard and touch input (its native panels' included) is held back.

class QWidget;

namespace m797::dialogs {

void setInputBlocked(QWidget* window, bool blocked);
bool inputBlocked(const QWidget* window);

}  // namespace m797::dialogs
