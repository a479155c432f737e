#pragma once
// Where the K-line goes: the serial device named with --port, or the
// simulated adapter and control unit of --simulate, started here and kept
// running as long as this object lives.

#include <memory>
#include <string>

#include "ecu/posix_serial_line.h"
#include "sim/k_line_simulator.h"

namespace m797 {

struct CommandLine;
class SerialLine;

// What to tell a technician when the port cannot be opened: the device and
// the reason, and how to get access where permission was denied. One or two
// lines, each ending in a line end.
std::string portFailureText(const std::string& device, const SerialLine& line);

class LinkSource {
public:
    // Starts the simulator when `simulate` is set; false (with `error`) if it cannot start.
    bool start(bool simulate, const std::string& device, const sim::SimOptions& simOptions = {},
               std::string* error = nullptr);
    std::unique_ptr<SerialLine> makeLine(LineTimeouts timeouts = {}) const;
    const std::string& device() const { return device_; }
    sim::KLineSimulator* simulator() const { return simulator_.get(); }

private:
    std::unique_ptr<sim::KLineSimulator> simulator_;
    std::string device_;
};

}  // namespace m797
