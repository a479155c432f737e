// m797diag-sim: the simulated K-line adapter and control unit as a program of
// its own. It prints the pseudo-terminal to give to `m797diag --port`, and
// runs until SIGINT or SIGTERM.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim/elm327_simulator.h"
#include "sim/k_line_simulator.h"

namespace {

const char* kUsage =
    "Usage: m797diag-sim [options]\n"
    "A simulated K-line adapter with a Bosch M7.9.7 control unit behind it, on a\n"
    "pseudo-terminal. Run `m797diag --port PATH` with the path it prints.\n"
    "\n"
    "Options:\n"
    "  --link PATH          also make PATH a symbolic link to the pseudo-terminal\n"
    "  --timing real|fast   line timing of a car (default) or no delays\n"
    "  --fault MODE         none, no-adapter, echo-only, other-key-bytes,\n"
    "                       live-data-stops, garbled, truncated, slow,\n"
    "                       bad-checksum (every third answer), negative (every\n"
    "                       third answer is 7F <service> 21), second-reader\n"
    "                       (another process reads the port now and then),\n"
    "                       actuator-refused (every actuator request is\n"
    "                       answered 7F 30 31), actuator-silent (none answered),\n"
    "                       refused-codes (the trouble-code read is refused:\n"
    "                       7F 18 22), other-unit (unit 17 sends a frame 3 ms\n"
    "                       after every answer), double-echo (the adapter echoes\n"
    "                       every byte twice), line-noise (a random byte every\n"
    "                       2 ms)\n"
    "  --live-data-cycles N with live-data-stops: cycles before live data stops (5)\n"
    "  --slow-ms MS         with slow: delay before every answer (60)\n"
    "  --engine-off         the engine stands (ignition tests are allowed)\n"
    "  --elm327             an ELM327 adapter instead of the plain K-line one,\n"
    "                       also on TCP 127.0.0.1:35000 (m797diag --adapter elm327\n"
    "                       --port PATH, or --port tcp:127.0.0.1:35000)\n"
    "  --tcp-port N         with --elm327: the TCP port (0: any free one; -1: none)\n"
    "  --elm-baud RATE      with --elm327: the adapter's own rate on the\n"
    "                       pseudo-terminal; text at another one is garbled\n"
    "  --elm-fault MODE     with --elm327: none, no-data (NO DATA after the\n"
    "                       initialisation), init-refused (BUS INIT: ...ERROR),\n"
    "                       data-error (every third answer <DATA ERROR);\n"
    "                       SIGUSR1 pulls the adapter out and plugs it in again\n"
    "  --trace              print every frame received, with its line rate\n"
    "                       (with --elm327: every command line)\n"
    "  --help               show this text\n";

bool parseInt(const char* text, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || v < 0 || v > 100000) return false;
    out = static_cast<int>(v);
    return true;
}

void printFrames(m797::sim::KLineSimulator& simulator) {
    const auto frames = simulator.frames();
    simulator.clearFrames();
    for (const auto& f : frames) {
        std::printf("%6u baud%s:", f.baud, f.checksumOk ? "" : " (bad checksum)");
        for (std::uint8_t b : f.bytes) std::printf(" %02X", b);
        std::printf("\n");
    }
    std::fflush(stdout);
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "m797diag-sim: %s\nm797diag-sim --help shows the usage\n", message.c_str());
    return 2;
}

void printCommands(m797::sim::Elm327Simulator& simulator) {
    const auto commands = simulator.commands();
    simulator.clearCommands();
    for (const std::string& c : commands) std::printf("> %s\n", c.c_str());
    std::fflush(stdout);
}

// Starts either simulator with the engine as asked and prints the terminal
// to use; false (told on stderr) when it cannot start.
template <class Simulator>
bool startAndAnnounce(Simulator& simulator, bool engineOff) {
    std::string error;
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "m797diag-sim: %s\n", error.c_str());
        return false;
    }
    simulator.setEngineRunning(!engineOff);
    std::printf("%s\n", simulator.slavePath().c_str());
    return true;
}

// The ELM327 stands in front of the control unit until a stop signal.
int runElm327(const m797::sim::Elm327Options& options, bool engineOff, bool trace, const sigset_t& signals) {
    m797::sim::Elm327Simulator simulator(options);
    if (!startAndAnnounce(simulator, engineOff)) return 1;
    if (simulator.tcpPort() >= 0) std::printf("tcp:127.0.0.1:%d\n", simulator.tcpPort());
    if (!options.base.linkPath.empty()) std::printf("linked at %s\n", options.base.linkPath.c_str());
    std::fflush(stdout);
    // SIGUSR1 pulls the adapter out and plugs it in again.
    sigset_t waited = signals;
    sigaddset(&waited, SIGUSR1);
    const timespec slice{0, 100'000'000};
    bool unplugged = false;
    for (;;) {
        const int signal = sigtimedwait(&waited, nullptr, &slice);
        if (signal == SIGUSR1) {
            unplugged = !unplugged;
            simulator.setUnplugged(unplugged);
            std::printf("adapter %s\n", unplugged ? "unplugged" : "plugged in");
            std::fflush(stdout);
        } else if (signal > 0) {
            break;
        }
        if (trace) printCommands(simulator);
    }
    simulator.stop();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    m797::sim::SimOptions options;
    m797::sim::Elm327Options elm;
    elm.tcpPort = 35000;
    bool elm327 = false;
    bool engineOff = false;
    bool trace = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--engine-off") {
            engineOff = true;
        } else if (arg == "--trace") {
            trace = true;
        } else if (arg == "--elm327") {
            elm327 = true;
        } else if (!hasValue) {
            return usageError("unknown option or missing value: " + std::string(arg));
        } else if (arg == "--link") {
            options.linkPath = argv[++i];
        } else if (arg == "--timing") {
            const std::string_view v = argv[++i];
            if (v != "real" && v != "fast") return usageError("--timing is real or fast");
            options.realTiming = v == "real";
        } else if (arg == "--fault") {
            if (!m797::sim::parseFault(argv[++i], options.fault))
                return usageError(std::string("unknown fault mode '") + argv[i] + "'");
        } else if (arg == "--live-data-cycles") {
            if (!parseInt(argv[++i], options.liveDataStopsAfter))
                return usageError("--live-data-cycles needs a count");
        } else if (arg == "--tcp-port") {
            const std::string_view v = argv[++i];
            int port = 0;
            if (v == "-1")
                port = -1;
            else if (!parseInt(argv[i], port) || port > 65535)
                return usageError("--tcp-port needs a port number");
            elm.tcpPort = port;
        } else if (arg == "--elm-baud") {
            char* end = nullptr;
            const unsigned long rate = std::strtoul(argv[++i], &end, 10);
            if (*argv[i] == '\0' || *end != '\0' || rate < 300 || rate > 4000000)
                return usageError("--elm-baud needs a baud rate");
            elm.adapterBaud = static_cast<unsigned>(rate);
        } else if (arg == "--elm-fault") {
            if (!m797::sim::parseElmFault(argv[++i], elm.fault))
                return usageError(std::string("unknown ELM327 fault mode '") + argv[i] + "'");
        } else if (arg == "--slow-ms") {
            if (!parseInt(argv[++i], options.slowAnswerMs)) return usageError("--slow-ms needs milliseconds");
        } else {
            return usageError("unknown option " + std::string(arg));
        }
    }

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before the simulator thread exists
    sigset_t toggle;
    sigemptyset(&toggle);
    sigaddset(&toggle, SIGUSR1);
    if (elm327) pthread_sigmask(SIG_BLOCK, &toggle, nullptr);

    if (elm327) {
        elm.base = options;
        return runElm327(elm, engineOff, trace, signals);
    }

    m797::sim::KLineSimulator simulator(options);
    if (!startAndAnnounce(simulator, engineOff)) return 1;
    if (!options.linkPath.empty()) std::printf("linked at %s\n", options.linkPath.c_str());
    std::fflush(stdout);

    const timespec slice{0, 100'000'000};
    while (sigtimedwait(&signals, nullptr, &slice) < 0) {
        if (trace) printFrames(simulator);
    }
    simulator.stop();
    return 0;
}
