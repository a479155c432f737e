#include "dialogs/input_block.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace m797::dialogs {
namespace {

constexpr const char* kBlocked = "m797InputBlocked";

bool isInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::Enter:
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease: return true;
    default: return false;
    }
}

// The top-level window a receiver belongs to: widgets through their window,
// native windows (the panels') through their parents.
bool belongsToBlockedWindow(QObject* receiver) {
    if (auto* widget = qobject_cast<QWidget*>(receiver)) return widget->window()->property(kBlocked).toBool();
    if (auto* window = qobject_cast<QWindow*>(receiver)) {
        while (window->parent()) window = window->parent();
        return window->property(kBlocked).toBool();
    }
    return false;
}

class InputFilter : public QObject {
public:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        return isInput(event->type()) && belongsToBlockedWindow(receiver);
    }
};

void installFilterOnce() {
    static InputFilter* filter = nullptr;
    if (filter) return;
    filter = new InputFilter;
    filter->setParent(qApp);
    qApp->installEventFilter(filter);
}

}  // namespace

void setInputBlocked(QWidget* window, bool blocked) {
    if (!window) return;
    installFilterOnce();
    window->setProperty(kBlocked, blocked);
    if (QWindow* handle = window->windowHandle()) handle->setProperty(kBlocked, blocked);
}

bool inputBlocked(const QWidget* window) { return window && window->property(kBlocked).toBool(); }

}  // namespace m797::dialogs
