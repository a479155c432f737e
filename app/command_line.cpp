#include "app/command_line.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

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

// Options that make sense only together, or not together.
std::string conflicts(const CommandLine& c, bool speedGiven) {
    if (!c.replayPath.empty() && c.simulate) return "--replay and --simulate cannot be used together";
    if (!c.replayPath.empty() && !c.recordPath.empty()) return "--replay and --record cannot be used together";
    if (speedGiven && c.replayPath.empty()) return "--speed needs --replay";
    if (c.speed == 0.0 && !c.headless) return "--speed max needs --headless";
    return {};
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine c;
    bool speedGiven = false;
    for (int i = 1; i < argc && c.error.empty(); ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                c.error = "option " + std::string(arg) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--port") {
            value(c.port);
        } else if (arg == "--simulate") {
            c.simulate = true;
        } else if (arg == "--ignore-screen-width") {
            c.ignoreScreenWidth = true;
        } else if (arg == "--headless") {
            c.headless = true;
        } else if (arg == "--cycles") {
            if (value(text) && !parseCount(text, c.cycles))
                c.error = "--cycles needs a whole number, not '" + text + "'";
        } else if (arg == "--seconds") {
            if (value(text) && !parseSeconds(text, c.seconds))
                c.error = "--seconds needs a number of seconds, not '" + text + "'";
        } else if (arg == "--log") {
            value(c.logPath);
        } else if (arg == "--record") {
            value(c.recordPath);
        } else if (arg == "--replay") {
            value(c.replayPath);
        } else if (arg == "--speed") {
            speedGiven = true;
            if (value(text) && !parseSpeed(text, c.speed))
                c.error = "--speed needs a factor from 0.25 to 16 (or max), not '" + text + "'";
        } else if (arg == "--help" || arg == "-h") {
            c.help = true;
        } else if (arg == "--version") {
            c.version = true;
        } else {
            c.error = "unknown option '" + std::string(arg) + "'";
        }
    }
    if (c.error.empty()) c.error = conflicts(c, speedGiven);
    return c;
}

std::string usageText(const std::string& programName) {
    return "Usage: " + programName + " [options]\n"
           "Live data and diagnostics for Bosch M7.9.7 engine control units over a K-line adapter.\n"
           "\n"
           "Options:\n"
           "  --port DEVICE          serial device of the K-line adapter (default /dev/ttyS0;\n"
           "                         USB adapters are /dev/ttyUSB0)\n"
           "  --simulate             use the built-in simulated control unit\n"
           "  --ignore-screen-width  do not insist on a screen 1024 pixels wide\n"
           "  --headless             no window: connect, print status and identification, poll\n"
           "  --cycles N             with --headless: stop after N poll cycles\n"
           "  --seconds S            with --headless: stop after S seconds\n"
           "  --log FILE             write every cycle with live data to FILE as CSV; an existing\n"
           "                         file of other columns is kept and the log goes to FILE-2, ...\n"
           "  --record FILE          record every exchange on the line to FILE (a text trace)\n"
           "  --replay FILE          play a recorded trace instead of using a port\n"
           "  --speed X              with --replay: pace 0.25 to 16 times the recorded one;\n"
           "                         max (with --headless) as fast as possible\n"
           "  --help                 show this text\n"
           "  --version              show the version\n";
}

std::string versionText() { return "m797diag 1.1.0\n"; }

}  // namespace m797
