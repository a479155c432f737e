#include "app/shell/link_source.h"

#include <cerrno>

#include "app/shell/command_line.h"
#include "ecu/elm327_line.h"
#include "ecu/recording_line.h"
#include "ecu/replay_line.h"

namespace m797 {

std::string portFailureText(const std::string& device, const SerialLine& line) {
    std::string text = "m797diag: cannot use " + device + ": " + line.lastErrorText() + "\n";
    if (line.lastErrorNumber() == EACCES || line.lastErrorNumber() == EPERM)
        text +=
            "m797diag: serial devices belong to the 'dialout' group: "
            "sudo usermod -aG dialout $USER, then log in again\n";
    return text;
}

std::string programVersion() {
    std::string text = versionText();
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

void LinkSource::useAdapter(AdapterKind kind, unsigned baud, sim::ElmFault elmFault) {
    adapter_ = kind;
    baud_ = baud;
    elmFault_ = elmFault;
}

Failure LinkSource::start(bool simulate, const std::string& device, const sim::SimOptions& simOptions) {
    device_ = device;
    if (!simulate) return std::nullopt;
    return startSimulator(simOptions);
}

Failure LinkSource::switchTo(bool simulate, const std::string& device, AdapterKind kind,
                             const sim::SimOptions& simOptions) {
    simulator_.reset();
    elmSimulator_.reset();
    adapter_ = kind;
    return start(simulate, device, simOptions);
}

Failure LinkSource::startSimulator(const sim::SimOptions& simOptions) {
    std::string error;
    if (adapter_ == AdapterKind::Elm327) {
        elmSimulator_ = std::make_unique<sim::Elm327Simulator>(sim::Elm327Options{simOptions, elmFault_});
        if (!elmSimulator_->start(&error)) {
            elmSimulator_.reset();
            return error;
        }
        device_ = elmSimulator_->slavePath();
        return std::nullopt;
    }
    simulator_ = std::make_unique<sim::KLineSimulator>(simOptions);
    if (!simulator_->start(&error)) {
        simulator_.reset();
        return error;
    }
    device_ = simulator_->slavePath();
    return std::nullopt;
}

Failure LinkSource::startReplay(const std::string& path, double speed,
                                const std::function<bool()>& stopRequested) {
    auto trace = std::make_shared<Trace>();
    std::string message;
    if (!readTraceFile(path, programVersion(), *trace, message, stopRequested)) return message;
    trace_ = std::move(trace);
    speed_ = speed;
    device_ = path;
    return std::nullopt;
}

Failure LinkSource::startRecording(const std::string& path) {
    std::string error = writer_.open(path, programVersion());
    recording_ = error.empty();
    if (recording_) return std::nullopt;
    return error;
}

std::unique_ptr<SerialLine> LinkSource::makeLine(LineTimeouts timeouts) {
    if (trace_) {
        auto line = std::make_unique<ReplayLine>(trace_, speed_);
        clock_ = line.get();
        return line;
    }
    std::unique_ptr<SerialLine> port;
    if (adapter_ == AdapterKind::Elm327)
        port = std::make_unique<Elm327Line>(device_, baud_ != 0 ? baud_ : Elm327Line::kSearchBaud);
    else
        port = std::make_unique<PosixSerialLine>(device_, timeouts);
    auto line = std::make_unique<RecordingLine>(std::move(port), recording_ ? &writer_ : nullptr);
    clock_ = line.get();
    return line;
}

}  // namespace m797
