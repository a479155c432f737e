#include "ecu/recording_line.h"

#include <algorithm>

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

// A record of `kind` for a call that began at t0 and ends now.
TraceRecord RecordingLine::timedRecord(TraceKind kind, Clock::time_point t0) const {
    TraceRecord r;
    r.kind = kind;
    r.atUs = sinceStartUs(t0);
    r.durationUs = sinceStartUs(Clock::now()) - r.atUs;
    return r;
}

void RecordingLine::setInterruptFd(int fd) { inner_->setInterruptFd(fd); }

bool RecordingLine::openPort() {
    const Clock::time_point t0 = Clock::now();
    const bool ok = inner_->openPort();
    if (writer_) {
        TraceRecord r = timedRecord(TraceKind::Open, t0);
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
    written_.assign(request, request + length);
    postExchange(t0, capacity, answer, n);
    return n;
}

// A read that "Стоп" cut short goes on after "Старт" without a second write.
// The trace shows the cut part as a `cut` record and then the whole exchange
// as its own record, so a replay passes over the cut part and its pause.
std::uint32_t RecordingLine::continueRead(std::uint8_t* answer, std::uint32_t got, std::uint32_t capacity) {
    const Clock::time_point t0 = Clock::now();
    const std::uint32_t n = inner_->continueRead(answer, got, capacity);
    postExchange(t0, capacity, answer, n);
    return n;
}

void RecordingLine::postExchange(Clock::time_point t0, std::uint32_t capacity, const std::uint8_t* answer,
                                 std::uint32_t n) {
    const std::int64_t endUs = sinceStartUs(Clock::now());
    lastEndUs_ = endUs;
    if (!writer_) return;
    TraceRecord r;
    r.kind = TraceKind::Exchange;
    r.atUs = sinceStartUs(t0);
    r.durationUs = endUs - r.atUs;
    r.capacity = capacity;
    r.written = written_;
    r.read.assign(answer, answer + std::min(n, capacity));
    r.cut = inner_->lastReadInterrupted();
    writer_->post(std::move(r));
}

void RecordingLine::sendWakeUpPulse() {
    const Clock::time_point t0 = Clock::now();
    inner_->sendWakeUpPulse();
    if (writer_) writer_->post(timedRecord(TraceKind::WakeUp, t0));
}

void RecordingLine::closePort() {
    const Clock::time_point t0 = Clock::now();
    inner_->closePort();
    if (writer_) writer_->post(timedRecord(TraceKind::Close, t0));
}

}  // namespace m797
