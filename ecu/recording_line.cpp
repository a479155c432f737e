#include "ecu/recording_line.h"

#include <poll.h>

#include "ecu/trace_writer.h"
#include "ecu/wall_time.h"

namespace m797 {

RecordingLine::RecordingLine(std::unique_ptr<SerialLine> inner, TraceWriter* writer)
    : inner_(std::move(inner)), writer_(writer), start_(Clock::now()), startWallUs_(wallClockNowUs()) {
    if (writer_) writer_->begin(startWallUs_);
}

std::int64_t RecordingLine::sinceStartUs(Clock::time_point t) const {
    return std::chrono::duration_cast<std::chrono::microseconds>(t - start_).count();
}

// The gate's descriptor is readable while the link is paused or stopping: an
// exchange that ends then was cut short and will be made again.
bool RecordingLine::interruptPending() const {
    if (interruptFd_ < 0) return false;
    pollfd p{interruptFd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

void RecordingLine::setInterruptFd(int fd) {
    interruptFd_ = fd;
    inner_->setInterruptFd(fd);
}

bool RecordingLine::openPort() {
    const Clock::time_point t0 = Clock::now();
    const bool ok = inner_->openPort();
    if (writer_) {
        TraceRecord r;
        r.kind = TraceKind::Open;
        r.atUs = sinceStartUs(t0);
        r.durationUs = sinceStartUs(Clock::now()) - r.atUs;
        r.ok = ok;
        r.error = ok ? 0 : inner_->lastErrorNumber();
        writer_->post(std::move(r));
    }
    return ok;
}

std::uint32_t RecordingLine::exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                                      std::uint32_t capacity) {
    const Clock::time_point t0 = Clock::now();
    const std::uint32_t n = inner_->exchange(request, length, answer, capacity);
    const std::int64_t endUs = sinceStartUs(Clock::now());
    lastEndUs_ = endUs;
    if (writer_) {
        TraceRecord r;
        r.kind = TraceKind::Exchange;
        r.atUs = sinceStartUs(t0);
        r.durationUs = endUs - r.atUs;
        r.capacity = capacity;
        r.written.assign(request, request + length);
        r.read.assign(answer, answer + std::min(n, capacity));
        r.cut = interruptPending();
        writer_->post(std::move(r));
    }
    return n;
}

void RecordingLine::sendWakeUpPulse() {
    const Clock::time_point t0 = Clock::now();
    inner_->sendWakeUpPulse();
    if (writer_) {
        TraceRecord r;
        r.kind = TraceKind::WakeUp;
        r.atUs = sinceStartUs(t0);
        r.durationUs = sinceStartUs(Clock::now()) - r.atUs;
        writer_->post(std::move(r));
    }
}

void RecordingLine::closePort() {
    const Clock::time_point t0 = Clock::now();
    inner_->closePort();
    if (writer_) {
        TraceRecord r;
        r.kind = TraceKind::Close;
        r.atUs = sinceStartUs(t0);
        r.durationUs = sinceStartUs(Clock::now()) - r.atUs;
        writer_->post(std::move(r));
    }
}

}  // namespace m797
