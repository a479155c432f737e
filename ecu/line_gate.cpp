#include "ecu/line_gate.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <stdexcept>

namespace m797 {

LineGate::LineGate() : eventFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (eventFd_ < 0) throw std::runtime_error("eventfd");
    signal();
}

LineGate::~LineGate() { ::close(eventFd_); }

void LineGate::signal() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(eventFd_, &one, sizeof one);
}

void LineGate::drain() {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = ::read(eventFd_, &count, sizeof count);
}

void LineGate::open() {
    std::lock_guard guard(mutex_);
    if (stopped_ || open_) return;
    open_ = true;
    drain();
    changed_.notify_all();
}

void LineGate::close() {
    std::lock_guard guard(mutex_);
    if (stopped_ || !open_) return;
    open_ = false;
    ++interruptions_;
    signal();
    changed_.notify_all();
}

void LineGate::stop() {
    std::lock_guard guard(mutex_);
    if (stopped_) return;
    stopped_ = true;
    open_ = false;
    ++interruptions_;
    signal();
    changed_.notify_all();
}

bool LineGate::waitOpen() {
    std::unique_lock guard(mutex_);
    changed_.wait(guard, [this] { return open_ || stopped_; });
    return !stopped_;
}

bool LineGate::isOpen() const {
    std::lock_guard guard(mutex_);
    return open_;
}

}  // namespace m797
