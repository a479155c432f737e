// The floor a display of seven live panels cannot go below: seven native
// OpenGL child windows of the panels' sizes and places in one frameless
// window, each drawing one smoothed, additively blended line strip of 1024
// vertices at the display clock's 30 ms, and nothing else. Prints its CPU
// time per presented frame, its resident memory and when its first window
// was painted (see process_figures.h).
//
// Options: --warmup SECONDS (2), --seconds SECONDS (8).

#include <GL/gl.h>
#include <GL/glu.h>

#include <QApplication>
#include <QOpenGLContext>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cmath>
#include <memory>
#include <vector>

#include "measured_run.h"

namespace {

struct Place {
    int left, top, width, height;
};
// The panels' places in the main window.
constexpr Place kPlaces[7] = {{23, 15, 750, 115},  {23, 146, 750, 115}, {23, 277, 750, 115}, {23, 408, 750, 115},
                              {23, 539, 750, 115}, {23, 674, 750, 49},  {807, 324, 193, 401}};

double firstPaint = -1;

class StripWindow : public QWindow {
public:
    explicit StripWindow(const int* phase) : phase_(phase) {
        setSurfaceType(QSurface::OpenGLSurface);
        QSurfaceFormat f;
        f.setProfile(QSurfaceFormat::CompatibilityProfile);
        f.setVersion(2, 1);
        f.setDepthBufferSize(24);
        f.setSwapInterval(0);
        setFormat(f);
    }
    long frames = 0;

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::UpdateRequest) {
            render();
            return true;
        }
        return QWindow::event(e);
    }
    void exposeEvent(QExposeEvent*) override {
        if (isExposed()) render();
    }

private:
    void render() {
        if (!isExposed()) return;
        if (!context_) {
            context_ = std::make_unique<QOpenGLContext>();
            context_->setFormat(requestedFormat());
            if (!context_->create()) return;
        }
        if (!context_->makeCurrent(this)) return;
        const int w = static_cast<int>(width() * devicePixelRatio());
        const int h = static_cast<int>(height() * devicePixelRatio());
        glViewport(0, 0, w, h);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(20.0, double(w) / h, 1.0, 2000.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_LINE_SMOOTH);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glDisable(GL_DEPTH_TEST);
        glTranslated(-345, -51.1, -300);  // the charts' trace plane
        glColor4f(1.0f, 1.0f, 0.0f, 1.0f);
        glBegin(GL_LINE_STRIP);
        for (int k = 1; k <= 1024; ++k)
            glVertex3i(k, static_cast<int>(50 + 40 * std::sin((k + *phase_) * 0.05)), 0);
        glEnd();
        context_->swapBuffers(this);
        context_->doneCurrent();
        ++frames;
        if (firstPaint < 0) firstPaint = bench::monotonicSeconds();
    }

    const int* phase_;
    std::unique_ptr<QOpenGLContext> context_;
};

double option(int argc, char** argv, const char* name, double fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return std::atof(argv[i + 1]);
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const double warmup = option(argc, argv, "--warmup", 2);
    const double seconds = option(argc, argv, "--seconds", 8);
    QApplication app(argc, argv);
    QWidget top(nullptr, Qt::FramelessWindowHint);
    top.setGeometry(0, 0, 1024, 740);
    int phase = 0;
    std::vector<StripWindow*> windows;
    for (const Place& p : kPlaces) {
        auto* w = new StripWindow(&phase);
        QWidget* container = QWidget::createWindowContainer(w, &top);
        container->setGeometry(p.left, p.top, p.width, p.height);
        windows.push_back(w);
    }
    top.show();

    QTimer clock;
    clock.setTimerType(Qt::PreciseTimer);
    QObject::connect(&clock, &QTimer::timeout, [&] {
        ++phase;
        for (StripWindow* w : windows) w->requestUpdate();
    });
    clock.start(30);

    bench::Figures figures;
    bench::measureThenQuit(
        warmup, seconds, [&windows] { return windows[0]->frames; }, figures);
    app.exec();
    if (bench::startedAt() > 0 && firstPaint > 0) figures.firstPaintSeconds = firstPaint - bench::startedAt();
    bench::printFigures("floor (seven native GL windows, one smoothed strip each)", figures);
    return 0;
}
