// One display frame (the seven panels painted) under this machine's OpenGL,
// and the program's CPU use while the simulated control unit streams at real
// line timing with the display clock running. Needs a display (scripts/bench.sh
// runs it under Xvfb). Prints figures; judges nothing.

#include <sys/resource.h>

#include <GL/gl.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/main_window.h"
#include "glpanel/opengl_panel.h"
#include "glpanel/panel_process.h"
#include "simulated_window.h"

namespace {

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A local loop: quitting the application would close the main window.
void runEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Each panel painted into its frame buffer and read back (capture); the
// read-back makes this an upper bound of what a frame on screen costs.
double medianFrameMs(TForm1& w, int frames) {
    std::vector<double> ms;
    QElapsedTimer t;
    for (int i = 0; i < frames; ++i) {
        t.start();
        for (int n = 1; n <= 7; ++n) w.panel(n)->capture();
        ms.push_back(t.nsecsElapsed() / 1e6);
        QApplication::processEvents();
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    m797::gl::preparePanelProcess();
    QApplication app(argc, argv);
    bench::SimulatedWindow simulated;
    if (!simulated.start()) return 1;
    TForm1& w = *simulated.window;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) return 1;
    w.speedButton(1)->click();  // "Старт"
    runEventsFor(3000);         // connect and fill the charts

    std::printf("frame (seven panels painted and read back): median %.2f ms over 200 frames\n",
                medianFrameMs(w, 200));

    // Each paint handler timed to the end of its drawing (glFinish).
    long paints = 0;
    double paintMs = 0;
    double panelMs[8] = {};
    long panelPaints[8] = {};
    for (int n = 1; n <= 7; ++n) {
        TOpenGLPanel* p = w.panel(n);
        p->OnPaint = [handler = p->OnPaint, n, &paints, &paintMs, &panelMs, &panelPaints](TOpenGLPanel* sender) {
            QElapsedTimer t;
            t.start();
            handler(sender);
            glFinish();
            const double ms = t.nsecsElapsed() / 1e6;
            paintMs += ms;
            panelMs[n] += ms;
            ++panelPaints[n];
            ++paints;
        };
    }

    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runEventsFor(10000);
    const double cpu = cpuSeconds() - cpu0;
    std::printf(
        "CPU while streaming with the display clock: %.1f %% of one core over %.1f s "
        "(the simulator runs in the same process)\n",
        100.0 * cpu / (wall.elapsed() / 1000.0), wall.elapsed() / 1000.0);
    std::printf(
        "panel paints in that time: %ld (%.1f frames of seven a second), "
        "%.2f ms of drawing a frame of seven\n",
        paints, paints / 7.0 / (wall.elapsed() / 1000.0), paints ? 7.0 * paintMs / paints : 0.0);
    for (int n = 1; n <= 7; ++n)
        std::printf("  panel %d: %.2f ms a paint\n", n, panelPaints[n] ? panelMs[n] / panelPaints[n] : 0.0);
    w.speedButton(2)->click();  // "Стоп"
    return 0;
}
