#include <QApplication>
#include <QMessageBox>
#include <cstdio>

#include "app/command_line.h"
#include "app/headless.h"
#include "app/link_source.h"
#include "app/main_window.h"
#include "app/screen_notice.h"
#include "app/screen_width.h"
#include "app/serial_ports.h"
#include "dialogs/dialog_helpers.h"
#include "ecu/com_port.h"
#include "ecu/link_status.h"
#include "ecu/serial_line.h"
#include "glpanel/opengl_panel.h"

namespace {

int runWindow(QApplication& app, const m797::CommandLine& cl) {
    m797::LinkSource link;
    std::string error;
    if (!link.start(cl.simulate, cl.port, {}, &error)) {
        std::fprintf(stderr, "m797diag: cannot start the simulator: %s\n", error.c_str());
        return 1;
    }
    StartOptions options;
    options.ignoreScreenWidth = cl.ignoreScreenWidth;
    m797::SerialLine* line = nullptr;
    options.makeLine = [&link, &line] {
        auto made = link.makeLine();
        line = made.get();
        return made;
    };
    options.logPath = cl.logPath;
    TForm1 window(std::move(options));
    if (!window.threadCreated()) return 1;
    // The status strip says "Ошибка открытия порта!"; the terminal gets the reason.
    window.acquisitionThread()->setStatusObserver([&link, &line](const std::string& status) {
        if (line && status == m797::linkStatusText(m797::LinkStatus::PortOpenFailed)) {
            std::fputs(m797::portFailureText(link.device(), *line).c_str(), stderr);
            std::fprintf(stderr, "m797diag: serial devices on this machine:\n%s",
                         m797::serialPortListText(m797::listSerialPorts()).c_str());
        }
    });
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

    TOpenGLPanel::installDefaultSurfaceFormat();
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
