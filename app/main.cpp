#include <pwd.h>
#include <unistd.h>
#include <QApplication>
#include <QMessageBox>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "app/crash_signals.h"
#include "app/end_at_exit.h"
#include "app/exit_signals.h"
#include "app/main_window.h"
#include "app/screen_width.h"
#include "app/shell/broken_pipes.h"
#include "app/shell/command_line.h"
#include "app/shell/failure_once.h"
#include "app/shell/headless.h"
#include "app/shell/link_source.h"
#include "app/shell/link_start.h"
#include "app/shell/notice.h"
#include "app/shell/port_selection.h"
#include "app/shell/screen_notice.h"
#include "app/shell/serial_ports.h"
#include "dialogs/dialog_helpers.h"
#include "ecu/adapter_port.h"
#include "ecu/com_port.h"
#include "ecu/link_status.h"
#include "ecu/port_holder.h"
#include "ecu/serial_line.h"
#include "glpanel/panel_process.h"
#include "settings/store/port_choice.h"

namespace {

void warn(const std::string& utf8) {
    QMessageBox::warning(nullptr, QStringLiteral("m797diag"), QString::fromStdString(utf8));
}

// Every notice goes to the terminal; the problems among them are shown
// together in one box.
void showNotices(const m797::Notices& notices) {
    std::string problems;
    for (const m797::Notice& notice : notices) {
        std::fputs(m797::terminalLine(notice.text).c_str(), stderr);
        if (notice.kind == m797::NoticeKind::Problem) problems += notice.text + "\n";
    }
    if (!problems.empty()) warn(problems);
}

// A failure is told on the terminal and in a box.
void showFailure(const std::string& failure) {
    std::fputs(m797::terminalLine(failure).c_str(), stderr);
    warn(failure);
}

// The window's own settings load tells of an unreadable file; this early
// read of the port choice says nothing.
struct QuietReporter : m797::SettingsReporter {
    void showMessage(const std::string&) override {}
};

// The kind of adapter stored beside the port goes with that port, unless
// --adapter names one for the run.
m797::PortInUse choosePortForRun(m797::CommandLine& cl) {
    QuietReporter quiet;
    m797::SettingsFile file(m797::SettingsFile::defaultPath(), quiet);
    const m797::PortChoice stored = m797::readPortChoice(file);
    m797::PortInUse port = m797::choosePort(cl.portGiven ? cl.port : std::string(), cl.simulate, stored.device,
                                            m797::listSerialPorts());
    cl.adapter = m797::adapterForRun(cl.adapterGiven, cl.adapter, port, stored.adapter);
    for (const m797::Notice& notice : m797::portNotices(port, cl.adapter))
        std::fputs(m797::terminalLine(notice.text).c_str(), stderr);
    cl.simulate = port.simulator();
    if (!cl.simulate) cl.port = port.device;
    return port;
}

// The port of a window run, and the one "Старт" moves it to.
struct PortFollower {
    m797::RunPort inUse;
    m797::RunPort next;
};

// At "Старт" the window moves to the port the order gives now (a pick on
// the "Com Port" page, an adapter plugged in since); a run whose command
// line named the port or the simulator, or that plays a trace, keeps its own.
void followPortChoice(StartOptions& options, const m797::CommandLine& given, m797::LinkSource& link,
                      PortFollower& follower) {
    if (given.portGiven || given.simulate || !given.replayPath.empty()) return;
    options.portAtStart = [&given, &follower]() -> std::optional<StartOptions::Port> {
        QuietReporter quiet;
        m797::SettingsFile file(m797::SettingsFile::defaultPath(), quiet);
        const m797::PortChoice stored = m797::readPortChoice(file);
        const std::optional<m797::RunPort> next = m797::runPortAtStart(follower.inUse, given.adapterGiven,
                                                                       given.adapter, stored.device,
                                                                       stored.adapter, m797::listSerialPorts());
        if (!next) return std::nullopt;
        follower.next = *next;
        return StartOptions::Port{next->port.device, m797::shortPortName(next->port.device),
                                  m797::portInUseTooltip(next->port)};
    };
    options.switchToPortAtStart = [&link, &follower]() -> std::string {
        follower.inUse = follower.next;
        const m797::PortInUse& port = follower.inUse.port;
        for (const m797::Notice& notice : m797::portNotices(port, follower.inUse.adapter))
            std::fputs(m797::terminalLine(notice.text).c_str(), stderr);
        const m797::Failure failure = link.switchTo(
            port.simulator(), port.simulator() ? std::string() : port.device, follower.inUse.adapter);
        return failure ? "cannot start the simulator: " + *failure : std::string();
    };
}

// A headless run takes its port in the same order as the window.
m797::CommandLine withPortForRun(m797::CommandLine cl) {
    if (cl.replayPath.empty()) choosePortForRun(cl);
    return cl;
}

std::string loginName() {
    if (const passwd* pw = ::getpwuid(::getuid())) return pw->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : "";
}

// Why the port did not open, once per failure: on the terminal and in the window.
void explainPortFailure(const std::string& device, int errorNumber, const m797::SerialLine& line, TForm1& window) {
    std::fputs(m797::portFailureText(device, line).c_str(), stderr);
    const std::vector<m797::SerialPortInfo> present = m797::listSerialPorts();
    if (!m797::isTcpPortName(device))  // a Wi-Fi adapter is none of them
        std::fprintf(stderr, "m797diag: serial devices on this machine:\n%s",
                     m797::serialPortListText(present).c_str());
    const std::string holder = errorNumber == EBUSY ? m797::describePortHolder(device, ::getpid()) : std::string();
    const QString message = QString::fromStdString(
        m797::portFailureMessage({device, errorNumber, holder, loginName()}, present));
    QMetaObject::invokeMethod(
        &window, [&window, message] { window.showPortFailure(message); }, Qt::QueuedConnection);
}

// A stop signal while a replayed FIFO is waited for ends the wait (and the
// run, told on the terminal only: nobody may be at the window).
bool startWindowLink(m797::LinkSource& link, const m797::CommandLine& cl, const ExitSignals& stopSignals) {
    m797::LinkStartOptions options;
    options.stopRequested = [&stopSignals] { return stopSignals.arrived(); };
    // A recording that cannot be made is told; the link runs without it.
    options.recordingRequired = false;
    options.listedTraceProblems = 10;  // what a box can show
    options.recordingLost = [](const std::string& message) {
        std::fputs(m797::terminalLine(message).c_str(), stderr);
        QMetaObject::invokeMethod(
            qApp, [message] { warn(message); }, Qt::QueuedConnection);
    };
    const m797::LinkStart start = m797::startLink(link, cl, options);
    showNotices(start.notices);
    if (start.failure && stopSignals.arrived())
        std::fputs(m797::terminalLine(*start.failure).c_str(), stderr);
    else if (start.failure)
        showFailure(*start.failure);
    return !start.failure;
}

int runWindow(QApplication& app, const m797::CommandLine& given) {
    m797::CommandLine cl = given;  // the stored adapter may apply
    m797::LinkSource link;
    const m797::PortInUse port = cl.replayPath.empty() ? choosePortForRun(cl) : m797::PortInUse{};
    // A kill, Ctrl+C, a closed terminal or the X server going away ends the
    // program like "Выход"; a crash still writes the releases.
    ExitSignals stopSignals;
    if (!startWindowLink(link, cl, stopSignals)) return 1;
    StartOptions options;
    if (cl.replayPath.empty()) {
        options.portDevice = port.device;
        options.portShortName = m797::shortPortName(port.device);
        options.portDescription = m797::portInUseTooltip(port);
    }
    options.ignoreScreenWidth = cl.ignoreScreenWidth;
    m797::SerialLine* line = nullptr;
    options.makeLine = [&link, &line] {
        auto made = link.makeLine();
        line = made.get();
        return made;
    };
    options.logPath = cl.logPath;
    options.logSourceCanWait = !cl.replayPath.empty();
    options.lineClock = [&link] { return link.lineClock(); };
    PortFollower follower{{port, cl.adapter}, {}};
    followPortChoice(options, given, link, follower);
    TForm1 window(std::move(options));
    if (!window.threadCreated()) return 1;
    // The status strip says "Ошибка открытия порта!"; the terminal and a
    // message in the window say why, once per failure.
    window.setLinkStatusObserver(
        [&link, &line, &window, once = m797::FailureOnce()](const m797::LinkEvent& event) mutable {
            if (event.status != m797::LinkStatus::PortOpenFailed) {
                if (event.status == m797::LinkStatus::Connecting) once.succeeded();
                return;
            }
            if (line && once.failed(event.errorNumber))
                explainPortFailure(link.device(), event.errorNumber, *line, window);
        });
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
    m797::ignoreBrokenPipes();
    const m797::CommandLine cl = m797::parseCommandLine(argc, argv);
    if (!cl.error.empty()) {
        std::fputs(m797::commandLineErrorText("m797diag", cl.error).c_str(), stderr);
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
    if (cl.headless) return m797::runHeadless(withPortForRun(cl));

    m797::gl::preparePanelProcess();
    QApplication app(argc, argv);
    // Windows that set no font of their own (settings, message boxes) take the
    // window font too, not whatever a generic family resolves to.
    m797::dialogs::installApplicationFont();
    // An exception that escapes the main window's creation or the event loop
    // is shown, and the program ends.
    try {
        return runWindow(app, cl);
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("m797diag"), QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
