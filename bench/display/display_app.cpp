// The program as a technician runs it with the simulated control unit
// (m797diag --simulate): the same start-up as the program's main, then
// "Старт", and the window streaming at real line timing with the display
// clock running. Prints the whole process's CPU time per presented frame
// (chart 1 presents once a tick), its resident memory while streaming, and
// when its first panel was painted (see process_figures.h).
//
// Options: --warmup SECONDS (2, after the link is up), --seconds SECONDS (8).

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <cstring>

#include "app/main_window.h"
#include "glpanel/opengl_panel.h"
#include "glpanel/panel_process.h"
#include "measured_run.h"
#include "simulated_window.h"

namespace {

double option(int argc, char** argv, const char* name, double fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return std::atof(argv[i + 1]);
    return fallback;
}

long presented(const TForm1& w, int n) { return w.panel(n)->presentedFrames(); }

}  // namespace

int main(int argc, char** argv) {
    const double warmup = option(argc, argv, "--warmup", 2);
    const double seconds = option(argc, argv, "--seconds", 8);
    // Settings kept away from the user's own: bench_display_cost names a
    // folder that lives over its runs (a first run writes the twelve sets,
    // later ones only read them); started by hand, a first run's.
    QTemporaryDir config;
    if (qEnvironmentVariableIsEmpty("M797_BENCH_CONFIG"))
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    else
        qputenv("XDG_CONFIG_HOME", qgetenv("M797_BENCH_CONFIG"));

    m797::gl::preparePanelProcess();
    QApplication app(argc, argv);
    bench::SimulatedWindow simulated;
    if (!simulated.start()) return 1;
    TForm1& w = *simulated.window;
    // The first panel on screen: its paint handler has returned and the
    // swap follows at once.
    double firstPaint = -1;
    for (int n = 1; n <= 7; ++n) {
        TOpenGLPanel* p = w.panel(n);
        p->OnPaint = [handler = p->OnPaint, &firstPaint](TOpenGLPanel* sender) {
            handler(sender);
            if (firstPaint < 0) firstPaint = bench::monotonicSeconds();
        };
    }
    w.show();
    while (firstPaint < 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    w.speedButton(1)->click();  // "Старт"
    while (!w.record().linkUp) {
        QEventLoop wait;
        QTimer::singleShot(50, &wait, &QEventLoop::quit);
        wait.exec();
    }

    bench::Figures figures;
    bench::measureThenQuit(
        warmup, seconds, [&w] { return presented(w, 1); }, figures);
    app.exec();
    if (bench::startedAt() > 0) figures.firstPaintSeconds = firstPaint - bench::startedAt();
    w.speedButton(2)->click();  // "Стоп"
    bench::printFigures("m797diag --simulate (seven panels, streaming)", figures);
    return 0;
}
