#pragma once
// m797diag --headless: the link without a window. It behaves as if "Старт"
// were pressed and prints, UTF-8, one line each: every change of the status
// text with the time since start, the identification once per accepted
// connection, the first negative answer of each kind, and at the end the
// number of poll cycles and their rate, the cycles with and without live
// data and the bad answers by kind.
// Exit status: 0 when live data was received and the run ended after
// --cycles or --seconds (or a signal) or at the end of a replayed trace; 1
// when the port (or the trace, the recording) cannot be opened, the reading
// of the trace was stopped by a signal, or the log or the recording could
// not be written completely (the file then ends after the last whole row or
// record); 3 when the loop gave up or no live data was received. Both failures
// on a serial device end with the list of serial devices on stderr.

#include <cstdio>

#include "app/shell/serial_ports.h"
#include "ecu/posix_serial_line.h"
#include "sim/elm327_interpreter.h"
#include "sim/k_line_simulator.h"

namespace m797 {

struct CommandLine;

constexpr int kHeadlessDone = 0;
constexpr int kHeadlessPortFailed = 1;
constexpr int kHeadlessLogFailed = 1;
constexpr int kHeadlessRecordFailed = 1;
constexpr int kHeadlessGaveUp = 3;

struct HeadlessOptions {
    sim::SimOptions simulator;                     // for --simulate
    sim::ElmFault elmFault = sim::ElmFault::None;  // for --simulate --adapter elm327
    LineTimeouts timeouts;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    DeviceRoots deviceRoots;  // where the port list of a failure looks
};

int runHeadless(const CommandLine& commandLine, const HeadlessOptions& options = {});

}  // namespace m797
