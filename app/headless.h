#pragma once
// m797diag --headless: the link without a window. It behaves as if "Старт"
// were pressed and prints, UTF-8, one line each: every change of the status
// text with the time since start, the identification once per accepted
// connection, and at the end the number of poll cycles and their rate.
// Exit status: 0 after --cycles or --seconds (or a signal) and at the end of
// a replayed trace, 1 when the port (or the trace, the log, the recording)
// cannot be opened, 3 when the loop gave up. Both failures on a serial device
// end with the list of serial devices on stderr.

#include <cstdio>

#include "app/serial_ports.h"
#include "ecu/posix_serial_line.h"
#include "sim/k_line_simulator.h"

namespace m797 {

struct CommandLine;

constexpr int kHeadlessDone = 0;
constexpr int kHeadlessPortFailed = 1;
constexpr int kHeadlessGaveUp = 3;

struct HeadlessOptions {
    sim::SimOptions simulator;   // for --simulate
    LineTimeouts timeouts;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    DeviceRoots deviceRoots;     // where the port list of a failure looks
};

int runHeadless(const CommandLine& commandLine, const HeadlessOptions& options = {});

}  // namespace m797
