#include "app/dialog_owner.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// Windows that stand on their own: dialogs and message boxes (Qt::Dialog)
// and plain windows; not menus, pop-ups, tooltips or the main window.
bool isOwnedKind(const QWidget& w) {
    const Qt::WindowType type = w.windowType();
    return type == Qt::Dialog || type == Qt::Window;
}

}  // namespace

DialogOwner::DialogOwner(QWidget& mainWindow) : QObject(&mainWindow), main_(&mainWindow) {
    qApp->installEventFilter(this);
}

DialogOwner::~DialogOwner() {
    if (qApp) qApp->removeEventFilter(this);
}

// The show event comes before the window system maps the window, so the
// transient parent and the place are there when the window manager sees it.
bool DialogOwner::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Show || !watched->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(watched);
    if (main_ && w != main_ && w->isWindow() && isOwnedKind(*w) && main_->isVisible()) adopt(*w);
    return false;
}

void DialogOwner::adopt(QWidget& dialog) {
    QWindow* own = main_->windowHandle();
    QWindow* handle = dialog.windowHandle();
    if (!own || !handle || handle == own) return;
    // One of our own windows (a confirmation over the actuator window) keeps that parent.
    if (!handle->transientParent()) handle->setTransientParent(own);
    centreOnMain(dialog);
    // A message box takes its size in its own show handling, after this:
    // centred again once that is done.
    const QSize sizeNow = dialog.size();
    QTimer::singleShot(0, &dialog, [this, d = &dialog, sizeNow] {
        if (d->size() != sizeNow) centreOnMain(*d);
    });
}

void DialogOwner::centreOnMain(QWidget& dialog) const {
    if (main_) dialog.move(main_->frameGeometry().center() - dialog.rect().center());
}
