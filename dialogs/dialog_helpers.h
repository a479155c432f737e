#pragma once
// Small pieces shared by the windows: the 8-point window font,
// bevelled panels, labels and buttons at fixed places, centring on the desktop.

#include <QRect>
#include <QString>

class QFont;
class QFrame;
class QLabel;
class QToolButton;
class QWidget;

namespace m797::dialogs {

QFont windowFont(bool bold = false);
// The narrow face of the same family, for the settings lists: the catalogue's
// list texts are the longest of the system and must show whole in 473 pixels.
QFont narrowListFont();
// The window font as the application's: windows and message boxes that keep
// the default font get it too.
void installApplicationFont();
QFrame* bevelledPanel(QWidget* parent, QRect geometry, bool sunken = false);
QLabel* labelAt(QWidget* parent, const QString& text, int left, int top);
QToolButton* buttonAt(QWidget* parent, const QString& name, const QString& caption, QRect geometry);
// Centred on the primary screen.
void centreOnScreen(QWidget* window);
// Fixed client size, centred on the primary screen.
void fixAndCentre(QWidget* window, int width, int height);

}  // namespace m797::dialogs
