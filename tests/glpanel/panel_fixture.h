#pragma once
// A panel shown in its own window under Xvfb, with pixel helpers over the
// captured image.

#include <QImage>
#include <QOpenGLContext>
#include <QTest>
#include <QWidget>
#include <memory>

#include "glpanel/opengl_panel.h"

struct ShownPanel {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    TOpenGLPanel* panel = new TOpenGLPanel(window.get());

    explicit ShownPanel(QSize size = {200, 60}) {
        window->resize(size.width() + 20, size.height() + 20);
        panel->setGeometry(10, 10, size.width(), size.height());
    }
    bool show() {
        window->show();
        const bool exposed = QTest::qWaitForWindowExposed(window.get());
        QCoreApplication::processEvents();
        return exposed;
    }
};

inline bool lit(QRgb p) { return qRed(p) + qGreen(p) + qBlue(p) > 96; }

inline int litPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += lit(image.pixel(x, y));
    return n;
}

// The window's own compositing context may be current: only the panel's must not be.
inline bool notCurrent(const TOpenGLPanel* panel) {
    return panel->context() == nullptr || QOpenGLContext::currentContext() != panel->context();
}
