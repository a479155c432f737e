// The window program as the signal test runs it: the main window on the line
// named by argv[1], the stop signals, crashes and the X server's end taken as
// m797diag takes them, "Старт" pressed and the fan relay switched on in the
// actuator window. The test then sends a signal (or ends the X server) and
// watches the wire and the exit status.

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <csignal>
#include <memory>
#include <string>

#include "app/crash_signals.h"
#include "app/end_at_exit.h"
#include "app/exit_signals.h"
#include "app/main_window.h"
#include "app/shell/broken_pipes.h"
#include "dialogs/actuator_window.h"
#include "ecu/posix_serial_line.h"
#include "glpanel/opengl_panel.h"

namespace {

constexpr int kFanEntry = 7;

void switchFanOn() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* control = qobject_cast<TForm5*>(w);
        if (!control) continue;
        control->comboBox()->setCurrentIndex(kFanEntry);
        control->SpeedButton1Click();
    }
}

}  // namespace

int main(int argc, char** argv) {
    // As m797diag's main() does first: a write to a closed pipe or socket (a
    // closed terminal, the X server's when it goes away) is not an end of the
    // program; the X server's end is taken from Qt's own exit, never from
    // SIGPIPE.
    m797::ignoreBrokenPipes();
    if (argc < 2) return 2;
    TOpenGLPanel::installDefaultSurfaceFormat();
    QApplication app(argc, argv);
    StartOptions options;
    options.ignoreScreenWidth = true;
    const std::string device = argv[1];
    options.makeLine = [device] {
        return std::make_unique<m797::PosixSerialLine>(device, m797::LineTimeouts{25, 2, 20, 30});
    };
    TForm1 window(std::move(options));
    ExitSignals stopSignals;
    QObject::connect(&stopSignals, &ExitSignals::received, &window, &TForm1::endOnSignal);
    const EndAtExit endAtExit(window);
    m797::installCrashRelease();
    window.FormCreate();
    window.show();
    window.SpeedButton1Click();
    window.SpeedButton16Click();
    QTimer::singleShot(100, &app, switchFanOn);
    return app.exec();
}
