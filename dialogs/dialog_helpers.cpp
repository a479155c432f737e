#include "dialogs/dialog_helpers.h"

#include <QApplication>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QToolButton>

namespace m797::dialogs {

// A face the package installs (fonts-liberation), as the panels' "Arial"
// resolves to: a generic family takes whatever fontconfig has, and on a
// minimal system that is Liberation Mono, too wide for the windows' cells.
QFont windowFont(bool bold) {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPointSize(8);
    f.setBold(bold);
    return f;
}

QFont narrowListFont() {
    QFont f(QStringLiteral("Liberation Sans Narrow"));
    f.setPointSizeF(7.5);
    return f;
}

void installApplicationFont() { QApplication::setFont(windowFont()); }

QFrame* bevelledPanel(QWidget* parent, QRect geometry, bool sunken) {
    auto* p = new QFrame(parent);
    p->setGeometry(geometry);
    p->setFrameStyle(QFrame::Panel | (sunken ? QFrame::Sunken : QFrame::Raised));
    p->setLineWidth(1);
    return p;
}

QLabel* labelAt(QWidget* parent, const QString& text, int left, int top) {
    auto* l = new QLabel(text, parent);
    l->setFont(windowFont());
    l->adjustSize();
    l->move(left, top);
    return l;
}

QToolButton* buttonAt(QWidget* parent, const QString& name, const QString& caption, QRect geometry) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    b->setFont(windowFont());
    b->setGeometry(geometry);
    return b;
}

void centreOnScreen(QWidget* window) {
    if (const QScreen* s = QGuiApplication::primaryScreen())
        window->move(s->geometry().center() - window->rect().center());
}

void fixAndCentre(QWidget* window, int width, int height) {
    window->setFixedSize(width, height);
    centreOnScreen(window);
}

}  // namespace m797::dialogs
