#include "app/link_source.h"

namespace m797 {

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
