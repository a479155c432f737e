#include "app/link_source.h"

#include <cerrno>

namespace m797 {

std::string portFailureText(const std::string& device, const SerialLine& line) {
    std::string text = "m797diag: cannot use " + device + ": " + line.lastErrorText() + "\n";
    if (line.lastErrorNumber() == EACCES || line.lastErrorNumber() == EPERM)
        text += "m797diag: serial devices belong to the 'dialout' group: "
                "sudo usermod -aG dialout $USER, then log in again\n";
    return text;
}

bool LinkSource::start(bool simulate, const std::string& device, const sim::SimOptions& simOptions,
                       std::string* error) {
    device_ = device;
    if (!simulate) return true;
    simulator_ = std::make_unique<sim::KLineSimulator>(simOptions);
    if (!simulator_->start(error)) {
        simulator_.reset();
        return false;
    }
    device_ = simulator_->slavePath();
    return true;
}

std::unique_ptr<SerialLine> LinkSource::makeLine(LineTimeouts timeouts) const {
    return std::make_unique<PosixSerialLine>(device_, timeouts);
}

}  // namespace m797
