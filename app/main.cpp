#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "app/shell/command_line.h"
#include "app/crash_signals.h"
#include "app/end_at_exit.h"
#include "app/exit_signals.h"
#include "app/shell/headless.h"
#include "app/shell/link_source.h"
#include "app/main_window.h"
#include "app/shell/screen_notice.h"
#include "app/screen_width.h"
#include "app/shell/serial_ports.h"
#include "dialogs/dialog_helpers.h"
#include "ecu/com_port.h"
#include "ecu/link_status.h"
#include "ecu/serial_line.h"
#include "glpanel/panel_process.h"

namespace {

void warn(const std::string& utf8) {
    QMessageBox::warning(nullptr, QStringLiteral("m797diag"), QString::fromStdString(utf8));
}

// Problems inside a trace are told once (the first few in a box, all on the
// terminal); the rest of the trace plays.
void reportTraceProblems(const std::string& path, const m797::Trace& trace) {
    std::string shown;
    for (std::size_t i = 0; i < trace.problems.size(); ++i) {
        const std::string line =
            path + " line " + std::to_string(trace.problems[i].line) + ": " + trace.problems[i].text + "\n";
        std::fputs(("m797diag: " + line).c_str(), stderr);
        if (i < 10) shown += line;
    }
    if (trace.problemCount > 10) shown += "... (" + std::to_string(trace.problemCount) + ")\n";
    if (!shown.empty()) warn(shown);
}

bool startLink(m797::LinkSource& link, const m797::CommandLine& cl) {
    std::string error;
    if (!cl.replayPath.empty()) {
        if (!link.startReplay(cl.replayPath, cl.speed, &error)) {
            std::fprintf(stderr, "m797diag: %s\n", error.c_str());
            warn(error);
            return false;
        }
        reportTraceProblems(cl.replayPath, *link.replayTrace());
        return true;
    }
    if (!link.start(cl.simulate, cl.port, {}, &error)) {
        std::fprintf(stderr, "m797diag: cannot start the simulator: %s\n", error.c_str());
        return false;
    }
    if (cl.recordPath.empty()) return true;
    // A recording that cannot be made is told; the link runs without it.
    if (!(error = link.startRecording(cl.recordPath)).empty()) {
        warn(error);
        return true;
    }
    m797::TraceWriter* recorder = link.recorder();
    if (recorder->path() != cl.recordPath)
        warn("«" + cl.recordPath + "» уже есть; запись идёт в «" + recorder->path() + "»");
    recorder->setFailureHandler([](const std::string& message) {
        std::fprintf(stderr, "m797diag: %s\n", message.c_str());
        QMetaObject::invokeMethod(qApp, [message] { warn(message); }, Qt::QueuedConnection);
    });
    return true;
}

int runWindow(QApplication& app, const m797::CommandLine& cl) {
    m797::LinkSource link;
    if (!startLink(link, cl)) return 1;
    StartOptions options;
    options.ignoreScreenWidth = cl.ignoreScreenWidth;
    m797::SerialLine* line = nullptr;
    options.makeLine = [&link, &line] {
        auto made = link.makeLine();
        line = made.get();
        return made;
    };
    options.logPath = cl.logPath;
    options.lineClock = [&link] { return link.lineClock(); };
    TForm1 window(std::move(options));
    if (!window.threadCreated()) return 1;
    // The status strip says "Ошибка открытия порта!"; the terminal gets the reason.
    window.acquisitionThread()->setStatusObserver([&link, &line](const m797::LinkEvent& event) {
        if (line && event.status == m797::LinkStatus::PortOpenFailed) {
            std::fputs(m797::portFailureText(link.device(), *line).c_str(), stderr);
            std::fprintf(stderr, "m797diag: serial devices on this machine:\n%s",
                         m797::serialPortListText(m797::listSerialPorts()).c_str());
        }
    });
    // A kill, Ctrl+C, a closed terminal or the X server going away ends the
    // program like "Выход"; a crash still writes the releases.
    ExitSignals stopSignals;
    QObject::connect(&stopSignals, &ExitSignals::received, &window, &TForm1::endOnSignal);
    const EndAtExit endAtExit(window);
    m797::installCrashRelease();
    window.FormCreate();
    if (!window.visibleAtStart())
        std::fputs(m797::screenNotSuitedText(m797::primaryScreenWidth()).c_str(), stderr);
    if (window.visibleAtStart()) window.show();
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    const m797::CommandLine cl = m797::parseCommandLine(argc, argv);
    if (!cl.error.empty()) {
        std::fprintf(stderr, "m797diag: %s\n\n%s", cl.error.c_str(), m797::usageText("m797diag").c_str());
        return m797::kExitUsage;
    }
    if (cl.help) {
        std::fputs(m797::usageText("m797diag").c_str(), stdout);
        return 0;
    }
    if (cl.version) {
        std::fputs(m797::versionText().c_str(), stdout);
        return 0;
    }
    if (cl.listPorts) {
        std::fputs(m797::serialPortListText(m797::listSerialPorts()).c_str(), stdout);
        return 0;
    }
    if (cl.headless) return m797::runHeadless(cl);

    m797::gl::preparePanelProcess();
    QApplication app(argc, argv);
    // Windows that set no font of their own (settings, message boxes) take the
    // window font too, not whatever a generic family resolves to.
    dialogs::installApplicationFont();
    // An exception that escapes the main window's creation or the event loop
    // is shown, and the program ends.
    try {
        return runWindow(app, cl);
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("m797diag"), QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
