#pragma once
// A serial line that plays a recorded trace back: each request of the
// program gets the answer recorded for that request, in the order recorded,
// at the recorded pace times `speed` (0: as fast as possible). It stands
// where the serial port stands, so everything after it is the code of a live
// session.
//
// The trace is walked forward. A request is matched with the next recorded
// exchange of the same bytes: when it lies a few records ahead, what the
// trace holds in between (a trouble-code read the user asked for then, say)
// is passed over and the replay goes on from there. A request that is only
// found further ahead (the user asks for trouble codes now) gets that answer
// at once and the replay stays where it is; one not found within the
// look-ahead gets silence, as a control unit that did not answer. When the
// trace has no more match at all the line throws LineEnded. Exchanges that a
// pause cut short while recording are passed over, and so is the pause. A
// request whose match lies beyond a recorded wake-up throws SessionLapsed:
// the recorded session ended there (a "Стоп" longer than the control unit
// keeps one), so the replayed one connects again as the recorded one did.

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

#include "ecu/line_clock.h"
#include "ecu/serial_line.h"
#include "ecu/trace_format.h"

namespace m797 {

class ReplayLine : public SerialLine, public LineClock {
public:
    ReplayLine(std::shared_ptr<const Trace> trace, double speed);

    bool openPort() override;
    std::uint32_t exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                           std::uint32_t capacity) override;
    void sendWakeUpPulse() override;
    void closePort() override {}
    bool sessionsExpire() const override { return false; }
    void setInterruptFd(int fd) override { interruptFd_ = fd; }
    bool lastReadInterrupted() const override { return pending_ != kNone; }
    std::uint32_t continueRead(std::uint8_t* answer, std::uint32_t got, std::uint32_t capacity) override;
    int lastErrorNumber() const override { return lastError_; }
    std::string lastErrorText() const override;

    std::int64_t lastExchangeEndUs() const override { return lastEndUs_.load(); }
    std::int64_t startWallUs() const override { return trace_->startWallUs; }

    // Requests that found no recorded answer nearby.
    long unmatchedRequests() const { return unmatched_.load(); }
    // How far the replay has come, 0..records.
    std::size_t position() const { return cursor_.load(); }

    static constexpr std::size_t kLookAhead = 256;
    // Records that may be passed over to reach the match and go on from it.
    static constexpr std::size_t kNearby = 16;

private:
    using Clock = std::chrono::steady_clock;
    struct Found {
        std::size_t index;  // the trace's size: none within the look-ahead
        bool inOrder;       // near enough to go on from
    };
    // The next unused record that `matches`; throws LineEnded when the trace
    // ends first.
    template <class Match>
    Found find(Match matches);
    // Waits until the record's end is due; false when a pause cut the wait short.
    bool waitFor(std::size_t index);
    void served(std::size_t index);
    // Waits for the record in order and hands out its answer; a pause leaves
    // it pending, for continueRead after "Старт".
    std::uint32_t answerInOrder(std::size_t index, std::uint8_t* answer, std::uint32_t capacity);
    std::uint32_t copyAnswer(std::size_t index, std::uint8_t* answer, std::uint32_t capacity) const;
    // Whether a wake-up not yet replayed lies between the cursor and `index`.
    bool wakeUpBefore(std::size_t index) const;

    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    std::shared_ptr<const Trace> trace_;
    std::vector<bool> used_;  // served out of order
    const double speed_;
    int interruptFd_ = -1;
    int lastError_ = 0;
    std::atomic<std::size_t> cursor_{0};
    std::atomic<std::int64_t> lastEndUs_{0};
    std::atomic<long> unmatched_{0};
    std::size_t pending_ = kNone;  // the record whose wait a pause cut short
    bool anchored_ = false;        // false at the start and after a pause
    Clock::time_point anchorWall_{};
    std::int64_t anchorTraceUs_ = 0;  // trace time that anchorWall_ stands for
    // The time before the next record is not waited for: at the start (the
    // recording began before "Старт"), after a reopened port (the user
    // pressed "Старт" again after a give-up) and after a cut exchange (the
    // user paused the recording).
    bool skipGap_ = true;
};

}  // namespace m797
