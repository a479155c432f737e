#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>
#include <vector>

#include "ecu/line_ended.h"
#include "ecu/replay_line.h"

namespace m797 {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes kLive01 = {0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
const Bytes kLive03 = {0x82, 0x10, 0xF1, 0x21, 0x03, 0xA7};
const Bytes kReadDtc = {0x84, 0x10, 0xF1, 0x18, 0x02, 0xFF, 0xFF, 0x9D};

TraceRecord exchange(std::int64_t atMs, const Bytes& written, Bytes read, bool cut = false) {
    TraceRecord r;
    r.kind = TraceKind::Exchange;
    r.atUs = atMs * 1000;
    r.durationUs = 1000;
    r.capacity = 140;
    r.written = written;
    r.read = std::move(read);
    r.cut = cut;
    return r;
}

std::shared_ptr<Trace> traceOf(std::vector<TraceRecord> records) {
    auto t = std::make_shared<Trace>();
    t->records = std::move(records);
    return t;
}

Bytes ask(ReplayLine& line, const Bytes& request, std::uint32_t capacity = 140) {
    std::uint8_t answer[140] = {};
    const std::uint32_t n = line.exchange(request.data(), static_cast<std::uint32_t>(request.size()), answer,
                                          capacity);
    return Bytes(answer, answer + n);
}

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

TEST(ReplayLine, EachRequestGetsItsOwnRecordedAnswerInOrder) {
    TraceRecord wake;
    wake.kind = TraceKind::WakeUp;
    TraceRecord open;
    open.kind = TraceKind::Open;
    auto trace = traceOf({open, wake, exchange(1, kLive01, {1}), exchange(2, kReadDtc, {9}),
                          exchange(3, kLive03, {3}), exchange(4, kLive01, {11}, true), exchange(5, kLive01, {12}),
                          exchange(6, kLive03, {13, 14, 15})});
    ReplayLine line(trace, 0);
    EXPECT_TRUE(line.openPort());
    line.sendWakeUpPulse();
    EXPECT_EQ(ask(line, kLive01), Bytes{1});
    // The trouble-code read the user asked for then is passed over.
    EXPECT_EQ(ask(line, kLive03), Bytes{3});
    // The exchange that a pause cut short is passed over too.
    EXPECT_EQ(ask(line, kLive01), Bytes{12});
    EXPECT_EQ(line.lastExchangeEndUs(), 6000);
    EXPECT_EQ(ask(line, kLive03, 2), (Bytes{13, 14}));  // no more than asked for
    EXPECT_EQ(line.unmatchedRequests(), 0);
    EXPECT_THROW(ask(line, kLive01), LineEnded);
    EXPECT_THROW(line.sendWakeUpPulse(), LineEnded);
}

TEST(ReplayLine, ARequestWithNoRecordedAnswerNearbyGetsSilence) {
    std::vector<TraceRecord> records;
    for (std::size_t i = 0; i < ReplayLine::kLookAhead + 10; ++i) records.push_back(exchange(1, kLive01, {1}));
    records.push_back(exchange(2, kReadDtc, {9}));
    ReplayLine line(traceOf(records), 0);
    EXPECT_EQ(ask(line, kReadDtc), Bytes{});  // too far ahead: silence, and the replay stays where it was
    EXPECT_EQ(line.unmatchedRequests(), 1);
    EXPECT_EQ(line.position(), 0u);
    EXPECT_EQ(ask(line, kLive01), Bytes{1});
}

// Trouble codes asked for during the replay, read later in the drive: the
// recorded answer comes at once and the drive plays on in order.
TEST(ReplayLine, ARequestRecordedFurtherAheadIsAnsweredWithoutSkippingTheDrive) {
    std::vector<TraceRecord> records;
    records.reserve(41);
    for (int i = 0; i < 40; ++i)
        records.push_back(exchange(i, i % 2 ? kLive03 : kLive01, {static_cast<std::uint8_t>(i)}));
    records.insert(records.begin() + 30, exchange(30, kReadDtc, {0xD7}));
    ReplayLine line(traceOf(records), 0);
    EXPECT_EQ(ask(line, kLive01), Bytes{0});
    EXPECT_EQ(ask(line, kReadDtc), Bytes{0xD7});
    EXPECT_EQ(line.position(), 1u);
    for (int i = 1; i < 40; ++i)
        ASSERT_EQ(ask(line, i % 2 ? kLive03 : kLive01), Bytes{static_cast<std::uint8_t>(i)}) << i;
    EXPECT_THROW(ask(line, kReadDtc), LineEnded);  // used once only
}

TEST(ReplayLine, AFailedOpenIsPlayedAsRecorded) {
    TraceRecord failed;
    failed.kind = TraceKind::Open;
    failed.ok = false;
    failed.error = 13;
    ReplayLine line(traceOf({failed}), 0);
    EXPECT_FALSE(line.openPort());
    EXPECT_EQ(line.lastErrorNumber(), 13);
    EXPECT_NE(line.lastErrorText().find("Permission denied"), std::string::npos);
    EXPECT_THROW(line.openPort(), LineEnded);
}

TEST(ReplayLine, EmptyTraceEndsAtOnce) {
    ReplayLine line(traceOf({}), 1.0);
    EXPECT_THROW(line.openPort(), LineEnded);
}

// Twenty exchanges 40 ms apart: 0.76 s at the recorded pace.
double playAll(double speed) {
    std::vector<TraceRecord> records;
    for (int i = 1; i <= 20; ++i) records.push_back(exchange(std::int64_t{40} * i, kLive01, {1}));
    ReplayLine line(traceOf(records), speed);
    const auto t0 = Clock::now();
    for (int i = 0; i < 20; ++i) ask(line, kLive01);
    return secondsSince(t0);
}

TEST(ReplayLine, PlaysAtTheRecordedPaceTimesTheSpeed) {
    const double normal = playAll(1.0);
    const double fast = playAll(4.0);
    const double max = playAll(0.0);
    EXPECT_GE(normal, 0.75);  // from the first exchange's start: 19 gaps of 40 ms and 1 ms
    EXPECT_GE(fast, 0.185);
    EXPECT_LT(fast, normal * 0.6);
    EXPECT_LT(max, 0.1);
}

// A recording starts with the program, long before "Старт"; a reopened port
// follows a give-up and the user's "Старт". Neither wait is played again.
TEST(ReplayLine, TheWaitForStartIsNotPlayedAgain) {
    TraceRecord reopen;
    reopen.kind = TraceKind::Open;
    reopen.atUs = 20000000;
    ReplayLine line(traceOf({exchange(10000, kLive01, {1}), exchange(10040, kLive03, {3}), reopen,
                             exchange(30000, kLive01, {11})}),
                    1.0);
    const auto t0 = Clock::now();
    EXPECT_EQ(ask(line, kLive01), Bytes{1});
    EXPECT_EQ(ask(line, kLive03), Bytes{3});
    EXPECT_TRUE(line.openPort());
    EXPECT_EQ(ask(line, kLive01), Bytes{11});
    const double took = secondsSince(t0);
    EXPECT_GE(took, 0.035);  // the 40 ms between the two exchanges are played
    EXPECT_LT(took, 5.0);    // the 10 s before each are not
}

TEST(ReplayLine, APauseCutsAWaitShortAndTheReplayGoesOnFromThere) {
    const int pause = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    ASSERT_GE(pause, 0);
    ReplayLine line(traceOf({exchange(0, kLive01, {1}), exchange(5000, kLive03, {3})}), 1.0);
    line.setInterruptFd(pause);
    EXPECT_EQ(ask(line, kLive01), Bytes{1});
    const auto t0 = Clock::now();
    auto waiting = std::async(std::launch::async, [&] { return ask(line, kLive03); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::uint64_t one = 1;
    ASSERT_EQ(write(pause, &one, sizeof one), 8);
    EXPECT_EQ(waiting.get(), Bytes{});  // cut short ...
    EXPECT_LT(secondsSince(t0), 2.0);
    EXPECT_EQ(line.position(), 1u);  // ... and not used up
    EXPECT_TRUE(line.lastReadInterrupted());
    ::close(pause);
}

TEST(ReplayLine, AReadCutShortByAPauseGoesOnToTheSameAnswer) {
    const int pause = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    ASSERT_GE(pause, 0);
    ReplayLine line(
        traceOf({exchange(0, kLive01, {1}), exchange(300, kLive03, {3, 4}), exchange(301, kLive01, {5})}), 1.0);
    line.setInterruptFd(pause);
    EXPECT_EQ(ask(line, kLive01), Bytes{1});
    std::uint64_t one = 1;
    ASSERT_EQ(write(pause, &one, sizeof one), 8);  // "Стоп" before the answer is due
    EXPECT_EQ(ask(line, kLive03), Bytes{});
    ASSERT_TRUE(line.lastReadInterrupted());
    ASSERT_EQ(read(pause, &one, sizeof one), 8);  // "Старт"
    std::uint8_t answer[140] = {};
    const std::uint32_t n = line.continueRead(answer, 0, 140);
    EXPECT_EQ(Bytes(answer, answer + n), (Bytes{3, 4}));
    EXPECT_FALSE(line.lastReadInterrupted());
    EXPECT_EQ(ask(line, kLive01), Bytes{5});  // the replay goes on after it
    ::close(pause);
}

}  // namespace
}  // namespace m797
