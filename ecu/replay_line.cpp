#include "ecu/replay_line.h"

#include <poll.h>

#include <algorithm>
#include <cstring>

#include "ecu/line_ended.h"
#include "ecu/pausable_line.h"

namespace m797 {

ReplayLine::ReplayLine(std::shared_ptr<const Trace> trace, double speed)
    : trace_(std::move(trace)), used_(trace_->records.size(), false), speed_(speed) {}

std::string ReplayLine::lastErrorText() const {
    return lastError_ ? std::string("recorded: ") + std::strerror(lastError_) : std::string();
}

template <class Match>
ReplayLine::Found ReplayLine::find(Match matches) {
    const auto& records = trace_->records;
    const std::size_t from = cursor_;
    const std::size_t limit = std::min(records.size(), from + kLookAhead);
    bool passedCut = false;
    std::size_t passed = 0;
    for (std::size_t i = from; i < limit; ++i) {
        if (used_[i]) continue;
        if (records[i].kind == TraceKind::Exchange && records[i].cut) {
            passedCut = true;
            continue;
        }
        if (matches(records[i])) {
            const bool inOrder = passed < kNearby;
            if (inOrder) skipGap_ = skipGap_ || passedCut;
            return {i, inOrder};
        }
        ++passed;
    }
    if (limit == records.size()) throw LineEnded();
    ++unmatched_;
    return {records.size(), false};
}

bool ReplayLine::waitFor(std::size_t index) {
    const TraceRecord& r = trace_->records[index];
    const std::int64_t endUs = r.atUs + r.durationUs;
    if (speed_ <= 0) return true;
    const Clock::time_point now = Clock::now();
    if (!anchored_ || skipGap_) {
        anchored_ = true;
        anchorWall_ = now;
        anchorTraceUs_ = skipGap_ ? r.atUs : lastEndUs_.load();
        skipGap_ = false;
    }
    const double dueUs = static_cast<double>(std::max<std::int64_t>(0, endUs - anchorTraceUs_)) / speed_;
    const Clock::time_point due = anchorWall_ + std::chrono::microseconds(static_cast<std::int64_t>(dueUs));
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{interruptFd_, POLLIN, 0};
        const int timeout = static_cast<int>(std::min<long long>(left, 1000));
        const int ready = ::poll(&p, interruptFd_ >= 0 ? 1 : 0, timeout);
        if (ready > 0 && (p.revents & POLLIN)) {
            anchored_ = false;  // paused: the pace starts again from the resume
            return false;
        }
    }
    anchorWall_ = due;
    anchorTraceUs_ = endUs;
    return true;
}

void ReplayLine::served(std::size_t index) {
    const TraceRecord& r = trace_->records[index];
    lastEndUs_ = r.atUs + r.durationUs;
    cursor_ = index + 1;
}

bool ReplayLine::openPort() {
    const Found found = find([](const TraceRecord& r) { return r.kind == TraceKind::Open; });
    const std::size_t i = found.index;
    if (i == trace_->records.size() || !found.inOrder) return true;  // the port of a replay opens
    served(i);                                                       // opening takes no time worth waiting for
    skipGap_ = true;
    lastError_ = trace_->records[i].ok ? 0 : trace_->records[i].error;
    return trace_->records[i].ok;
}

std::uint32_t ReplayLine::exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                                   std::uint32_t capacity) {
    const Found found = find([&](const TraceRecord& r) {
        return r.kind == TraceKind::Exchange && r.written.size() == length &&
               std::equal(r.written.begin(), r.written.end(), request);
    });
    const std::size_t i = found.index;
    if (i == trace_->records.size()) return 0;
    // The recorded session ended before this request (a long "Стоп" let it
    // lapse): the replayed one ends here too and connects again as recorded.
    if (found.inOrder && wakeUpBefore(i)) throw SessionLapsed();
    if (found.inOrder) return answerInOrder(i, answer, capacity);
    used_[i] = true;  // answered now; the replay stays where it is
    return copyAnswer(i, answer, capacity);
}

std::uint32_t ReplayLine::continueRead(std::uint8_t* answer, std::uint32_t got, std::uint32_t capacity) {
    if (pending_ == kNone) return got;
    return answerInOrder(pending_, answer, capacity);
}

std::uint32_t ReplayLine::answerInOrder(std::size_t index, std::uint8_t* answer, std::uint32_t capacity) {
    pending_ = index;
    if (!waitFor(index)) return 0;
    pending_ = kNone;
    served(index);
    return copyAnswer(index, answer, capacity);
}

std::uint32_t ReplayLine::copyAnswer(std::size_t index, std::uint8_t* answer, std::uint32_t capacity) const {
    const std::vector<std::uint8_t>& read = trace_->records[index].read;
    const std::uint32_t n = std::min<std::uint32_t>(static_cast<std::uint32_t>(read.size()), capacity);
    std::copy_n(read.begin(), n, answer);
    return n;
}

bool ReplayLine::wakeUpBefore(std::size_t index) const {
    for (std::size_t k = cursor_; k < index; ++k)
        if (trace_->records[k].kind == TraceKind::WakeUp && !used_[k]) return true;
    return false;
}

void ReplayLine::sendWakeUpPulse() {
    const Found found = find([](const TraceRecord& r) { return r.kind == TraceKind::WakeUp; });
    if (found.index == trace_->records.size() || !found.inOrder) return;
    if (waitFor(found.index)) served(found.index);
}

}  // namespace m797
