#pragma once
// A serial line that measures the session's time and, given a TraceWriter,
// hands every exchange of the acquisition thread to it: the time, the bytes
// written, every byte read (echo included, exactly what the decoder sees),
// wake-ups, opens and closes. It sits between the pause gate and the port,
// so an exchange that "Стоп" cut short is marked as such: the gate makes it
// again after "Старт".

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

#include "ecu/line_clock.h"
#include "ecu/serial_line.h"
#include "ecu/trace_format.h"

namespace m797 {

class TraceWriter;

class RecordingLine : public SerialLine, public LineClock {
public:
    // `writer` may be null: the line then only keeps the session's time.
    RecordingLine(std::unique_ptr<SerialLine> inner, TraceWriter* writer);

    bool openPort() override;
    std::uint32_t exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                           std::uint32_t capacity) override;
    void sendWakeUpPulse() override;
    void closePort() override;
    void setInterruptFd(int fd) override;
    bool lastReadInterrupted() const override { return inner_->lastReadInterrupted(); }
    std::uint32_t continueRead(std::uint8_t* answer, std::uint32_t got, std::uint32_t capacity) override;
    int lastErrorNumber() const override { return inner_->lastErrorNumber(); }
    std::string lastErrorText() const override { return inner_->lastErrorText(); }

    std::int64_t lastExchangeEndUs() const override { return lastEndUs_.load(); }
    std::int64_t startWallUs() const override { return startWallUs_; }

private:
    using Clock = std::chrono::steady_clock;
    std::int64_t sinceStartUs(Clock::time_point t) const;
    TraceRecord timedRecord(TraceKind kind, Clock::time_point t0) const;
    // One `x` record: the exchange's request, every byte read so far.
    void postExchange(Clock::time_point t0, std::uint32_t capacity, const std::uint8_t* answer, std::uint32_t n);

    std::unique_ptr<SerialLine> inner_;
    TraceWriter* writer_;
    const Clock::time_point start_;
    const std::int64_t startWallUs_;
    std::vector<std::uint8_t> written_;  // the request of the last exchange, for its continued read
    std::atomic<std::int64_t> lastEndUs_{0};
};

}  // namespace m797
