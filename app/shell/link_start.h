#pragma once
// The link's start-up from the command line, the same for the window and
// headless mode: the trace to replay, or the simulator or the port (already
// chosen), and the recording. What it has to tell comes back as notices and,
// when the link cannot run, a failure; the caller shows or prints them.

#include <cstddef>
#include <functional>
#include <string>

#include "app/record/failure.h"
#include "app/shell/notice.h"
#include "ecu/adapter_kind.h"
#include "ecu/trace_format.h"
#include "sim/elm327_interpreter.h"
#include "sim/k_line_simulator.h"

namespace m797 {

struct CommandLine;
struct PortInUse;
class LinkSource;

struct LinkStartOptions {
    sim::SimOptions simulator;                     // for --simulate
    sim::ElmFault elmFault = sim::ElmFault::None;  // for --simulate --adapter elm327
    std::function<bool()> stopRequested;           // ends the wait for a replayed FIFO
    // A recording that cannot be made fails the start-up; otherwise it is a
    // problem told and the link runs without it.
    bool recordingRequired = true;
    // Problems of a replayed trace listed one by one; the rest are counted.
    std::size_t listedTraceProblems = kMaxTraceProblems;
    // Told (on the recording's writer thread) when the recording stops short.
    std::function<void(const std::string& message)> recordingLost;
};

struct LinkStart {
    Failure failure;  // the link cannot run
    Notices notices;  // in the order they happened, also before a failure
};

LinkStart startLink(LinkSource& source, const CommandLine& cl, const LinkStartOptions& options = {});

// What the start-up says of the port a run takes: the port and where it was
// chosen, and an ELM327 on a line of its own.
Notices portNotices(const PortInUse& port, AdapterKind adapter);

// The line after the listed problems of a trace: how many more it has.
std::string moreTraceProblemsText(const std::string& path, long more);

}  // namespace m797
