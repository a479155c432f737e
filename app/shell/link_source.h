#pragma once
// Where the K-line goes: the serial device named with --port, the simulated
// adapter and control unit of --simulate (started here and kept running as
// long as this object lives), or a recorded trace played back (--replay).
// A live line can be recorded to a trace (--record).

#include <functional>
#include <memory>
#include <string>

#include "app/record/failure.h"
#include "ecu/adapter_kind.h"
#include "ecu/posix_serial_line.h"
#include "ecu/trace_format.h"
#include "ecu/trace_writer.h"
#include "sim/elm327_simulator.h"
#include "sim/k_line_simulator.h"

namespace m797 {

struct CommandLine;
class LineClock;
class SerialLine;

// What to tell a technician when the port cannot be opened: the device and
// the reason, and how to get access where permission was denied. One or two
// lines, each ending in a line end.
std::string portFailureText(const std::string& device, const SerialLine& line);

// The program's name and version as a trace records it ("m797diag 1.1.0").
std::string programVersion();

class LinkSource {
public:
    // The adapter the lines go through (the plain K-line adapter unless
    // told); `baud` 0 looks for an ELM327 at its usual rates. Call before start(); the
    // simulator then stands in for that adapter (`elmFault` for an ELM327).
    void useAdapter(AdapterKind kind, unsigned baud = 0, sim::ElmFault elmFault = sim::ElmFault::None);
    AdapterKind adapter() const { return adapter_; }
    // Starts the simulator when `simulate` is set; a failure when it cannot start.
    Failure start(bool simulate, const std::string& device, const sim::SimOptions& simOptions = {});
    // Lines made from now on go to `device` through a `kind` adapter (the
    // simulator standing in when `simulate`); the simulator of before ends.
    // Only once the line made before is closed. A failure when the simulator
    // cannot start.
    Failure switchTo(bool simulate, const std::string& device, AdapterKind kind,
                     const sim::SimOptions& simOptions = {});
    // Reads the trace that the lines made from now on play back, at `speed`
    // times the recorded pace (0: as fast as possible). A failure when the
    // file cannot be read or `stopRequested` said to stop while waiting for
    // its bytes; problems inside it are in replayTrace()->problems and do
    // not stop the replay.
    Failure startReplay(const std::string& path, double speed, const std::function<bool()>& stopRequested = {});
    // Records the lines made from now on to a trace at `path` (or beside it,
    // when a file is there); a failure when it cannot.
    Failure startRecording(const std::string& path);

    std::unique_ptr<SerialLine> makeLine(LineTimeouts timeouts = {});
    const std::string& device() const { return device_; }
    // The session's time as the last line made knows it.
    const LineClock* lineClock() const { return clock_; }
    const Trace* replayTrace() const { return trace_.get(); }
    TraceWriter* recorder() { return recording_ ? &writer_ : nullptr; }

private:
    Failure startSimulator(const sim::SimOptions& simOptions);

    std::unique_ptr<sim::KLineSimulator> simulator_;
    std::unique_ptr<sim::Elm327Simulator> elmSimulator_;
    AdapterKind adapter_ = AdapterKind::KLine;
    unsigned baud_ = 0;
    sim::ElmFault elmFault_ = sim::ElmFault::None;
    std::string device_;
    std::shared_ptr<const Trace> trace_;
    double speed_ = 1.0;
    TraceWriter writer_;
    bool recording_ = false;
    const LineClock* clock_ = nullptr;
};

}  // namespace m797
