#include "glpanel/panel_window.h"

#include <QMouseEvent>
#include <QPlatformSurfaceEvent>
#include <QToolTip>

PanelWindow::PanelWindow() { setSurfaceType(QSurface::OpenGLSurface); }

bool PanelWindow::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::UpdateRequest:
        if (paint) paint(false);
        return true;
    case QEvent::PlatformSurface: {
        const auto type = static_cast<QPlatformSurfaceEvent*>(e)->surfaceEventType();
        if (type == QPlatformSurfaceEvent::SurfaceCreated && surfaceCreated) surfaceCreated();
        if (type == QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed && surfaceGoing) surfaceGoing();
        frameOnScreen_ = false;
        break;
    }
    default: break;
    }
    return QWindow::event(e);
}

// The window system dropped what the window showed: draw it all again now.
void PanelWindow::exposeEvent(QExposeEvent*) {
    frameOnScreen_ = false;
    if (isExposed() && paint) paint(true);
}

void PanelWindow::resizeEvent(QResizeEvent*) {
    frameOnScreen_ = false;
    if (resized) resized();
}

// The context menu opens on the press, as it does for widgets on X11.
void PanelWindow::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton && contextMenu) {
        contextMenu(e->globalPosition().toPoint());
        e->accept();
        return;
    }
    QWindow::mousePressEvent(e);
}

// A native window gets no tooltip events of its own: the pointer's moves show it.
void PanelWindow::mouseMoveEvent(QMouseEvent* e) {
    if (toolTipAt) {
        const QString text = toolTipAt(e->position().toPoint());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(e->globalPosition().toPoint(), text);
    }
    QWindow::mouseMoveEvent(e);
}
