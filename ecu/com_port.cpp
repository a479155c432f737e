#include "ecu/com_port.h"

#include "app/live_record.h"
#include "ecu/serial_line.h"

namespace m797 {

Com_Port::Com_Port(LiveRecord& record, std::unique_ptr<SerialLine> line)
    : record_(record), line_(std::move(line)) {
    storeSetValueFrameHeads(record_);
    thread_ = std::thread([this] { run(); });
}

Com_Port::~Com_Port() { terminate(); }

void Com_Port::resume() {
    std::lock_guard guard(mutex_);
    suspended_ = false;
    wake_.notify_all();
}

void Com_Port::suspend() {
    std::lock_guard guard(mutex_);
    suspended_ = true;
}

bool Com_Port::isSuspended() const {
    std::lock_guard guard(mutex_);
    return suspended_;
}

void Com_Port::terminate() {
    {
        std::lock_guard guard(mutex_);
        terminating_ = true;
        wake_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
}

void Com_Port::setGiveUpHandler(std::function<void()> handler) { onGiveUp_ = std::move(handler); }

// The polling loop arrives with the ECU link; until then the thread only waits.
void Com_Port::run() {
    std::unique_lock guard(mutex_);
    while (!terminating_) wake_.wait(guard);
}

}  // namespace m797
