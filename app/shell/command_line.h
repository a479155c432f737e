#pragma once
// The program's command line. The system itself has none; a Linux port needs
// the port name, the simulated control unit and the screen-width override.
// Options are rows of one table (commandLineOptions): the parser (getopt_long)
// and the usage text are both made from it, so a new option is one new row.

#include <span>
#include <string>

#include "ecu/adapter_kind.h"

namespace m797 {

struct CommandLine {
    std::string port = "/dev/ttyS0";           // the first serial port ("COM1")
    bool portGiven = false;                    // --port was on the command line
    bool simulate = false;                     // use the built-in simulated control unit
    bool ignoreScreenWidth = false;            // skip the 1024-pixel check at start-up
    AdapterKind adapter = AdapterKind::KLine;  // an ELM327's port may be tcp:HOST:PORT
    bool adapterGiven = false;                 // --adapter was on the command line
    unsigned baud = 0;                         // an ELM327's serial rate; 0: its usual 38400
    bool headless = false;                     // no window: connect, print, poll
    long cycles = -1;                          // headless: stop after this many poll cycles
    double seconds = -1.0;                     // headless: stop after this many seconds
    std::string logPath;                       // CSV log of every cycle with live data
    bool listPorts = false;                    // print the serial devices and end
    std::string recordPath;                    // trace of every exchange on the line
    std::string replayPath;                    // a trace played back in place of the line
    double speed = 1.0;                        // replay pace; 0: as fast as possible (headless only)
    bool speedGiven = false;                   // --speed was on the command line
    bool help = false;
    bool version = false;
    std::string error;  // set when the command line is not understood
};

// Stores an option's value (nullptr for a switch) in the command line;
// returns what is wrong with the value, or an empty text.
using OptionSetter = std::string (*)(CommandLine& commandLine, const char* value);

struct OptionRow {
    const char* name;       // long name, without "--"
    char shortName;         // 0: long form only
    const char* valueName;  // nullptr: a switch that takes no value
    const char* help;       // usage text; '\n' continues on an indented line
    OptionSetter set;
};

std::span<const OptionRow> commandLineOptions();

CommandLine parseCommandLine(int argc, const char* const* argv);
std::string usageText(const std::string& programName);
// What a command line that is not understood prints: the message, and where
// the usage is (two lines, UTF-8).
std::string commandLineErrorText(const std::string& programName, const std::string& error);
std::string versionText();

// Exit statuses of the program.
constexpr int kExitUsage = 2;  // the command line is not understood

}  // namespace m797
