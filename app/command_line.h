#pragma once
// The program's command line. The system itself has none; a Linux port needs
// the port name, the simulated control unit and the screen-width override.

#include <string>

namespace m797 {

struct CommandLine {
    std::string port = "/dev/ttyS0";  // the first serial port ("COM1")
    bool simulate = false;            // use the built-in simulated control unit
    bool ignoreScreenWidth = false;   // skip the 1024-pixel check at start-up
    bool headless = false;            // no window: connect, print, poll
    long cycles = -1;                 // headless: stop after this many poll cycles
    double seconds = -1.0;            // headless: stop after this many seconds
    std::string logPath;              // CSV log of every cycle with live data
    std::string recordPath;           // trace of every exchange on the line
    std::string replayPath;           // a trace played back in place of the line
    double speed = 1.0;               // replay pace; 0: as fast as possible (headless only)
    bool help = false;
    bool version = false;
    std::string error;                // set when the command line is not understood
};

CommandLine parseCommandLine(int argc, const char* const* argv);
std::string usageText(const std::string& programName);
std::string versionText();

}  // namespace m797
