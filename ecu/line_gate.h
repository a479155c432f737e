#pragma once
// The pause switch of the link. "Стоп" closes it, "Старт" opens it; the
// program's end stops it for good. While it is closed or stopped its
// descriptor is readable, so a read in progress ends at once.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace m797 {

class LineGate {
public:
    LineGate();  // starts closed
    ~LineGate();
    LineGate(const LineGate&) = delete;
    LineGate& operator=(const LineGate&) = delete;

    void open();
    void close();
    void stop();

    // Blocks while the gate is closed; false once it is stopped.
    bool waitOpen();
    bool isOpen() const;
    // Counts every close and stop: an exchange that saw it change was cut short.
    std::uint64_t interruptions() const { return interruptions_.load(); }
    int interruptFd() const { return eventFd_; }

private:
    void signal();
    void drain();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool stopped_ = false;
    std::atomic<std::uint64_t> interruptions_{0};
    int eventFd_ = -1;
};

}  // namespace m797
