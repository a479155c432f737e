#include "app/shell/command_line.h"

#include <getopt.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "ecu/adapter_port.h"

namespace m797 {
namespace {

bool parseCount(const std::string& text, long& out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < 0) return false;
    out = v;
    return true;
}

bool parseSeconds(const std::string& text, double& out) {
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(v >= 0.0)) return false;
    out = v;
    return true;
}

// 0.25 to 16, or "max" (as fast as possible, given as 0).
bool parseSpeed(const std::string& text, double& out) {
    if (text == "max") {
        out = 0.0;
        return true;
    }
    double v = 0;
    if (!parseSeconds(text, v) || v < 0.25 || v > 16.0) return false;
    out = v;
    return true;
}

// The serial rates an ELM327 can be set to.
bool parseBaud(const std::string& text, unsigned& out) {
    long v = 0;
    if (!parseCount(text, v)) return false;
    for (long rate : {9600L, 19200L, 38400L, 57600L, 115200L, 230400L, 500000L})
        if (v == rate) {
            out = static_cast<unsigned>(v);
            return true;
        }
    return false;
}

// Options that make sense only together, or not together.
std::string conflicts(const CommandLine& c) {
    const bool elm = c.adapter == AdapterKind::Elm327;
    if (c.baud != 0 && !elm) return "--baud is for an ELM327 (--adapter elm327); a K-line adapter runs at 10400";
    if (isTcpPortName(c.port) && !elm) return "--port tcp:HOST:PORT is an ELM327 on Wi-Fi, not a K-line adapter";
    if (elm && !c.replayPath.empty()) return "--adapter elm327 and --replay cannot be used together";
    if (!c.replayPath.empty() && c.simulate) return "--replay and --simulate cannot be used together";
    if (!c.replayPath.empty() && !c.recordPath.empty()) return "--replay and --record cannot be used together";
    if (c.speedGiven && c.replayPath.empty()) return "--speed needs --replay";
    if (c.speed == 0.0 && !c.headless) return "--speed max needs --headless";
    if (c.cycles >= 0 && !c.headless) return "--cycles needs --headless";
    if (c.seconds >= 0 && !c.headless) return "--seconds needs --headless";
    if (!c.replayPath.empty() && c.portGiven) return "--replay and --port cannot be used together";
    return {};
}

// A file or device name: an empty one would only fail later, less clearly.
std::string setPath(std::string& out, const char* option, const char* value) {
    if (*value == '\0') return std::string(option) + " needs a name, not an empty text";
    out = value;
    return {};
}

const std::array kOptions{
    OptionRow{"port", 0, "DEVICE",
              "serial device of the K-line adapter for this run (default: the one\n"
              "chosen in the window, else the only USB or Bluetooth adapter,\n"
              "else /dev/ttyS0; --list-ports shows them)",
              [](CommandLine& c, const char* v) { return c.portGiven = true, setPath(c.port, "--port", v); }},
    OptionRow{"list-ports", 0, nullptr, "list the serial devices with what the system knows of them",
              [](CommandLine& c, const char*) { return c.listPorts = true, std::string(); }},
    OptionRow{"simulate", 0, nullptr, "use the built-in simulated control unit",
              [](CommandLine& c, const char*) { return c.simulate = true, std::string(); }},
    OptionRow{"adapter", 0, "KIND",
              "kline (a plain K-line adapter) or elm327 (an ELM327\n"
              "interpreter: USB, Bluetooth rfcomm, or Wi-Fi as\n"
              "--port tcp:HOST:PORT); default: the kind chosen in the\n"
              "window with the port, else kline",
              [](CommandLine& c, const char* v) {
                  const auto kind = parseAdapterKind(v);
                  if (kind) c.adapter = *kind;
                  c.adapterGiven = kind.has_value();
                  return kind ? std::string() : "--adapter is kline or elm327, not '" + std::string(v) + "'";
              }},
    OptionRow{"baud", 0, "RATE",
              "with --adapter elm327 on a serial device: its rate (9600,\n"
              "19200, 38400, 57600, 115200, 230400, 500000; default: the\n"
              "usual ones in turn)",
              [](CommandLine& c, const char* v) {
                  return parseBaud(v, c.baud)
                             ? std::string()
                             : "--baud needs a serial rate such as 38400, not '" + std::string(v) + "'";
              }},
    OptionRow{"ignore-screen-width", 0, nullptr, "do not insist on a screen 1024 pixels wide",
              [](CommandLine& c, const char*) { return c.ignoreScreenWidth = true, std::string(); }},
    OptionRow{"headless", 0, nullptr, "no window: connect, print status and identification, poll",
              [](CommandLine& c, const char*) { return c.headless = true, std::string(); }},
    OptionRow{"cycles", 0, "N", "with --headless: stop after N poll cycles",
              [](CommandLine& c, const char* v) {
                  return parseCount(v, c.cycles) ? std::string()
                                                 : "--cycles needs a whole number, not '" + std::string(v) + "'";
              }},
    OptionRow{"seconds", 0, "S", "with --headless: stop after S seconds",
              [](CommandLine& c, const char* v) {
                  return parseSeconds(v, c.seconds)
                             ? std::string()
                             : "--seconds needs a number of seconds, not '" + std::string(v) + "'";
              }},
    OptionRow{"log", 0, "FILE",
              "write every cycle with live data to FILE as CSV; an existing\n"
              "file is never appended to: the log goes to FILE-2, ...",
              [](CommandLine& c, const char* v) { return setPath(c.logPath, "--log", v); }},
    OptionRow{"record", 0, "FILE", "record every exchange on the line to FILE (a text trace)",
              [](CommandLine& c, const char* v) { return setPath(c.recordPath, "--record", v); }},
    OptionRow{"replay", 0, "FILE", "play a recorded trace instead of using a port",
              [](CommandLine& c, const char* v) { return setPath(c.replayPath, "--replay", v); }},
    OptionRow{"speed", 0, "X",
              "with --replay: pace 0.25 to 16 times the recorded one;\n"
              "max (with --headless) as fast as possible",
              [](CommandLine& c, const char* v) {
                  c.speedGiven = true;
                  return parseSpeed(v, c.speed)
                             ? std::string()
                             : "--speed needs a factor from 0.25 to 16 (or max), not '" + std::string(v) + "'";
              }},
    OptionRow{"help", 'h', nullptr, "show this text",
              [](CommandLine& c, const char*) { return c.help = true, std::string(); }},
    OptionRow{"version", 'v', nullptr, "show the version",
              [](CommandLine& c, const char*) { return c.version = true, std::string(); }},
};

// getopt_long reports an option by its index in the table, offset past every
// character a short option could be.
constexpr int kLongOnlyBase = 256;

struct GetoptTables {
    std::vector<option> longOptions;
    std::string shortOptions = "+:";  // stop at the first non-option; ':' reports a missing value apart
};

GetoptTables getoptTables() {
    GetoptTables t;
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        const OptionRow& row = kOptions[i];
        const int argument = row.valueName ? required_argument : no_argument;
        t.longOptions.push_back({row.name, argument, nullptr, kLongOnlyBase + static_cast<int>(i)});
        if (row.shortName) {
            t.shortOptions += row.shortName;
            if (row.valueName) t.shortOptions += ':';
        }
    }
    t.longOptions.push_back({nullptr, 0, nullptr, 0});
    return t;
}

const OptionRow* rowFor(int code) {
    if (code >= kLongOnlyBase) return &kOptions[static_cast<std::size_t>(code - kLongOnlyBase)];
    const auto it = std::find_if(kOptions.begin(), kOptions.end(),
                                 [code](const OptionRow& r) { return r.shortName != 0 && r.shortName == code; });
    return it == kOptions.end() ? nullptr : &*it;
}

// The option as the user wrote it, for messages: a short one is the letter
// getopt stopped at (it may sit in a cluster such as -hx).
std::string writtenOption(const char* arg) {
    std::string text = arg ? arg : "";
    if (text.rfind("--", 0) == 0) return text.substr(0, text.find('='));
    if (optopt > 0 && optopt < kLongOnlyBase) return std::string("-") + static_cast<char>(optopt);
    return text;
}

}  // namespace

std::span<const OptionRow> commandLineOptions() { return kOptions; }

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine c;
    // getopt_long reorders the pointers it is given: hand it a copy.
    std::vector<char*> args;
    args.reserve(static_cast<std::size_t>(argc) + 1);
    for (int i = 0; i < argc; ++i) args.push_back(const_cast<char*>(argv[i]));
    args.push_back(nullptr);
    const GetoptTables tables = getoptTables();
    optind = 0;  // start afresh (glibc), whatever an earlier parse left
    opterr = 0;  // the messages are ours
    while (c.error.empty()) {
        const int code = getopt_long(argc, args.data(), tables.shortOptions.c_str(), tables.longOptions.data(),
                                     nullptr);
        if (code == -1) break;
        const std::string written = writtenOption(args[static_cast<std::size_t>(optind - 1)]);
        if (code == ':') {
            c.error = "option " + written + " needs a value";
        } else if (const OptionRow* row = code == '?' ? nullptr : rowFor(code)) {
            c.error = row->set(c, row->valueName ? optarg : nullptr);
        } else if (optopt != 0 && rowFor(optopt)) {
            c.error = "option " + written + " takes no value";
        } else {
            c.error = "unknown option '" + written + "'";
        }
    }
    if (c.error.empty() && optind < argc) c.error = "unexpected argument '" + std::string(argv[optind]) + "'";
    // Only an ELM327 is reached over TCP.
    if (isTcpPortName(c.port) && !c.adapterGiven) c.adapter = AdapterKind::Elm327;
    if (c.error.empty()) c.error = conflicts(c);
    return c;
}

std::string usageText(const std::string& programName) {
    constexpr std::size_t kHelpColumn = 25;
    std::string text = "Usage: " + programName +
                       " [options]\n"
                       "Live data and diagnostics for Bosch M7.9.7 engine control units over a K-line adapter.\n"
                       "\n"
                       "Options:\n";
    for (const OptionRow& row : kOptions) {
        std::string left = "  ";
        if (row.shortName) left += std::string("-") + row.shortName + ", ";
        left += std::string("--") + row.name;
        if (row.valueName) left += std::string(" ") + row.valueName;
        left += "  ";
        left.resize(std::max(left.size(), kHelpColumn), ' ');
        text += left;
        for (const char* c = row.help; *c; ++c) {
            text += *c;
            if (*c == '\n') text += std::string(kHelpColumn, ' ');
        }
        text += '\n';
    }
    return text;
}

std::string commandLineErrorText(const std::string& programName, const std::string& error) {
    return programName + ": " + error + "\n" + programName + " --help shows the usage\n";
}

std::string versionText() { return std::string("m797diag ") + M797_VERSION + "\n"; }

}  // namespace m797
