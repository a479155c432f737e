#include <gtest/gtest.h>
#include <memory>

#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <vector>

#include "app/record/live_record.h"
#include "ecu/answer_check.h"
#include "ecu/com_port.h"
#include "ecu/serial_line.h"
#include "sim/simulated_ecu.h"
#include "tests/ecu/link_fixture.h"

namespace m797 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The answer buffer of `request` after a read of echo + `answer`.
std::uint32_t fill(Request& request, const Bytes& answer) {
    std::fill(std::begin(request.answer), std::end(request.answer), 0xEE);
    std::copy(request.frame, request.frame + request.length, request.answer);
    std::copy(answer.begin(), answer.end(), request.answer + request.length);
    return request.length + static_cast<std::uint32_t>(answer.size());
}

Bytes live03Answer() {
    Bytes data{0x61, 0x03};
    for (int i = 0; i < 17; ++i) data.push_back(static_cast<std::uint8_t>(0x40 + i));
    return sim::answerFrame(data);
}

Bytes live01Answer(int seed = 0) {
    Bytes data{0x61, 0x01};
    for (int i = 0; i < 65; ++i) data.push_back(static_cast<std::uint8_t>(seed + i));
    return sim::answerFrame(data);  // 67 data bytes: the format byte with a length byte
}

TEST(AnswerCheck, JudgesEchoHeaderChecksumServiceAndLength) {
    const Bytes good = live03Answer();
    auto with = [&](int at, std::uint8_t value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    auto resummed = [](Bytes b) {
        b.back() = frameChecksum(b.data(), static_cast<int>(b.size()) - 1);
        return b;
    };
    const struct Case {
        const char* what;
        Bytes answer;
        AnswerFault fault;
        bool wrongEcho;
    } cases[] = {
        {"well formed", good, AnswerFault::None, false},
        {"echo only", {}, AnswerFault::NoAnswer, false},
        {"echo damaged", good, AnswerFault::Echo, true},
        {"two bytes of a frame", {good[0], good[1]}, AnswerFault::Truncated, false},
        {"cut before the checksum", Bytes(good.begin(), good.end() - 1), AnswerFault::Truncated, false},
        {"target not the tester", resummed(with(1, 0xF0)), AnswerFault::Header, false},
        {"source not the control unit", resummed(with(2, 0x00)), AnswerFault::Header, false},
        {"format without address bytes", resummed(with(0, good[0] & 0x3F)), AnswerFault::Header, false},
        {"checksum", with(static_cast<int>(good.size()) - 1, good.back() ^ 1), AnswerFault::Checksum, false},
        {"a data byte changed", with(8, 0x00), AnswerFault::Checksum, false},
        {"negative", sim::answerFrame({0x7F, 0x21, 0x12}), AnswerFault::Negative, false},
        {"negative about another service", sim::answerFrame({0x7F, 0x1A, 0x12}), AnswerFault::Unexpected, false},
        {"another service", resummed(with(3, 0x5A)), AnswerFault::Unexpected, false},
        {"another local id", resummed(with(4, 0x01)), AnswerFault::Unexpected, false},
        {"too short for the decoder", sim::answerFrame({0x61, 0x03, 0x01}), AnswerFault::Unexpected, false},
    };
    for (const Case& c : cases) {
        RequestTable table;
        AnswerRules rules(table);
        std::uint32_t n = fill(table.liveData03, c.answer);
        if (c.wrongEcho) table.liveData03.answer[4] = 0x01;
        const AnswerVerdict v = checkAnswer(table.liveData03, n, rules.liveData03.rule);
        EXPECT_EQ(answerFaultName(v.fault), std::string(answerFaultName(c.fault))) << c.what;
        if (c.fault == AnswerFault::Negative) {
            EXPECT_EQ(v.negativeCode, 0x12) << c.what;
        }
    }
}

TEST(AnswerCheck, TheLongLiveDataAnswerCarriesALengthByte) {
    RequestTable table;
    AnswerRules rules(table);
    const Bytes answer = live01Answer();
    ASSERT_EQ(answer[0], 0x80);
    EXPECT_TRUE(checkAnswer(table.liveData01, fill(table.liveData01, answer), rules.liveData01.rule).ok());
    Bytes cut(answer.begin(), answer.begin() + 40);
    EXPECT_EQ(checkAnswer(table.liveData01, fill(table.liveData01, cut), rules.liveData01.rule).fault,
              AnswerFault::Truncated);
    // Nothing read at all is no answer, whatever the buffer held before.
    EXPECT_EQ(checkAnswer(table.liveData01, 0, rules.liveData01.rule).fault, AnswerFault::NoAnswer);
}

// A line that gives back exactly the bytes it is told, whatever was written.
class RawLine : public SerialLine {
public:
    explicit RawLine(Bytes read) : read_(std::move(read)) {}
    bool openPort() override { return true; }
    std::uint32_t exchange(const std::uint8_t*, std::uint32_t, std::uint8_t* answer,
                           std::uint32_t capacity) override {
        const auto n = std::min<std::uint32_t>(static_cast<std::uint32_t>(read_.size()), capacity);
        std::copy(read_.begin(), read_.begin() + n, answer);
        return n;
    }
    void sendWakeUpPulse() override {}
    void closePort() override {}

private:
    Bytes read_;
};

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes twice(const Bytes& b) {
    Bytes out;
    for (std::uint8_t x : b) out.insert(out.end(), {x, x});
    return out;
}

// The same frame from unit 0x17.
Bytes fromOtherUnit(Bytes frame) {
    frame[2] = 0x17;
    frame.back() = frameChecksum(frame.data(), static_cast<int>(frame.size()) - 1);
    return frame;
}

// Every second byte followed by a stray one.
Bytes withNoise(const Bytes& b) {
    Bytes out;
    for (std::size_t i = 0; i < b.size(); ++i) {
        out.push_back(b[i]);
        if (i % 2 == 1) out.push_back(static_cast<std::uint8_t>(0x35 + 7 * i));
    }
    return out;
}

// The line is shared: the answer is found among a doubled echo, frames of
// other units and stray bytes, and put where the readers of fixed positions
// take it; a read that holds no answer among stray bytes is noise.
TEST(AnswerCheck, FindsTheAnswerAmongWhatElseTheLineCarried) {
    RequestTable table;
    const Bytes echo(table.liveData03.frame, table.liveData03.frame + table.liveData03.length);
    const Bytes answer = live03Answer();
    const Bytes other = fromOtherUnit(answer);
    const Bytes shortOther = fromOtherUnit(sim::answerFrame({0x7E}));  // room for it before the answer
    const Bytes doubledEcho = twice(echo);
    const struct Case {
        const char* what;
        Bytes read;
        AnswerFault fault;
    } cases[] = {
        {"echo and answer", join({echo, answer}), AnswerFault::None},
        {"another unit after the answer", join({echo, answer, other}), AnswerFault::None},
        {"another unit before the answer", join({echo, shortOther, answer}), AnswerFault::None},
        {"another unit before the echo", join({shortOther, echo, answer}), AnswerFault::None},
        {"the echo twice", join({twice(echo), answer}), AnswerFault::None},
        {"the echo twice and another unit", join({twice(echo), answer, other}), AnswerFault::None},
        {"a stray byte before the echo", join({{0x5C}, echo, answer}), AnswerFault::None},
        {"stray bytes after the answer", join({echo, answer, {0x13, 0x00, 0xF1}}), AnswerFault::None},
        {"a stray byte among the echo's",
         join({Bytes(echo.begin(), echo.begin() + 2), {0x00}, Bytes(echo.begin() + 2, echo.end()), answer}),
         AnswerFault::None},
        {"a late wake-up byte among the doubled echo's",
         join({Bytes(doubledEcho.begin(), doubledEcho.begin() + 3),
               {0x00},
               Bytes(doubledEcho.begin() + 3, doubledEcho.end()),
               answer}),
         AnswerFault::None},
        {"three stray bytes among the echo's",
         join({{echo[0], 0x01, echo[1], 0x02, echo[2], 0x03}, Bytes(echo.begin() + 3, echo.end()), answer}),
         AnswerFault::Echo},
        {"the echo twice, nothing else", twice(echo), AnswerFault::NoAnswer},
        {"only another unit answers", join({echo, other}), AnswerFault::Header},
        {"a cut answer after a doubled echo", join({twice(echo), Bytes(answer.begin(), answer.end() - 3)}),
         AnswerFault::Truncated},
        {"noise through echo and answer", withNoise(join({echo, answer})), AnswerFault::Noise},
        {"noise through the answer", join({echo, withNoise(answer), {0x44, 0x45}}), AnswerFault::Noise},
        {"noise instead of an answer", join({echo, {0x12, 0x9A, 0x00, 0x71}}), AnswerFault::Noise},
        {"noise and no echo", {0x12, 0x9A, 0x00, 0x71, 0x02, 0x03, 0x04, 0x05}, AnswerFault::Noise},
    };
    for (const Case& c : cases) {
        RequestTable t;
        AnswerRules rules(t);
        RawLine line(c.read);
        const std::uint32_t n = exchangeRequest(line, t.liveData03);
        EXPECT_EQ(answerFaultName(checkAnswer(t.liveData03, n, rules.liveData03.rule).fault),
                  std::string(answerFaultName(c.fault)))
            << c.what;
        if (c.fault != AnswerFault::None) continue;
        EXPECT_EQ(n, echo.size() + answer.size()) << c.what;
        EXPECT_EQ(Bytes(t.liveData03.answer, t.liveData03.answer + n), join({echo, answer})) << c.what;
    }
}

// The trouble-code answer: 58, the count, three bytes a code, nothing more
// and nothing less.
TEST(AnswerCheck, TroubleCodeAnswersHoldExactlyTheCodesTheirCountGives) {
    RequestTable table;
    const Request& request = table.readDtc;
    auto codes = [](int count, int records) {
        Bytes data{0x58, static_cast<std::uint8_t>(count)};
        for (int i = 0; i < 3 * records; ++i) data.push_back(static_cast<std::uint8_t>(i + 1));
        return sim::answerFrame(data);
    };
    const Bytes twoCodes = codes(2, 2);
    const Bytes cutShort(twoCodes.begin(), twoCodes.begin() + 9);
    const Bytes badSum = [&] {
        Bytes b = codes(2, 2);
        b.back() ^= 0x40;
        return b;
    }();
    const struct Case {
        const char* what;
        Bytes answer;
        AnswerFault fault;
        std::uint8_t code;
    } cases[] = {
        {"two codes", codes(2, 2), AnswerFault::None, 0},
        {"no codes", codes(0, 0), AnswerFault::None, 0},
        {"thirty codes, with a length byte", codes(30, 30), AnswerFault::None, 0},
        {"refused", {0x83, 0xF1, 0x10, 0x7F, 0x18, 0x22, 0x3D}, AnswerFault::Negative, 0x22},
        {"a count of 24 with one code", codes(24, 1), AnswerFault::Unexpected, 0},
        {"one code more than the count", codes(1, 2), AnswerFault::Unexpected, 0},
        {"live data instead", sim::answerFrame({0x61, 0x01, 0x00}), AnswerFault::Unexpected, 0},
        {"cut short", cutShort, AnswerFault::Truncated, 0},
        {"checksum", badSum, AnswerFault::Checksum, 0},
        {"nothing after the echo", {}, AnswerFault::NoAnswer, 0},
    };
    for (const Case& c : cases) {
        std::uint8_t bytes[kDtcResponseSize] = {};
        Bytes read(request.frame, request.frame + request.length);
        read.insert(read.end(), c.answer.begin(), c.answer.end());
        std::copy(read.begin(), read.end(), bytes);
        const AnswerVerdict v = checkTroubleCodeAnswer(request, bytes, static_cast<std::uint32_t>(read.size()));
        EXPECT_EQ(answerFaultName(v.fault), std::string(answerFaultName(c.fault))) << c.what;
        EXPECT_EQ(v.negativeCode, c.code) << c.what;
    }
}

TEST(AnswerCheck, CountsSummariseByKind) {
    AnswerCounts counts;
    EXPECT_EQ(counts.summary(), "none");
    counts.byKind[static_cast<int>(AnswerFault::Checksum)] = 2;
    counts.byKind[static_cast<int>(AnswerFault::Negative)] = 1;
    EXPECT_EQ(counts.summary(), "checksum 2, negative 1");
    EXPECT_EQ(counts.total(), 3);
}

// A control unit that accepts the connection and answers live data from a
// script of answers per cycle; it counts the wake-ups.
class LiveDataScriptLine : public SerialLine {
public:
    explicit LiveDataScriptLine(std::function<Bytes(int cycle, std::uint8_t localId)> liveData)
        : liveData_(std::move(liveData)) {}
    bool openPort() override { return true; }
    std::uint32_t exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                           std::uint32_t capacity) override {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        Bytes reply(request, request + length);
        const Bytes a = answerTo(request);
        reply.insert(reply.end(), a.begin(), a.end());
        const std::uint32_t n = std::min<std::uint32_t>(static_cast<std::uint32_t>(reply.size()), capacity);
        std::copy(reply.begin(), reply.begin() + n, answer);
        return n;
    }
    void sendWakeUpPulse() override { ++wakeUps; }
    void closePort() override {}
    std::atomic<int> wakeUps{0};

private:
    Bytes answerTo(const std::uint8_t* request) {
        const std::uint8_t service = request[3];
        if (service == 0x81) return sim::answerFrame({0xC1, 0xEF, 0x8F});
        if (service == 0x21 && (request[4] == 0x01 || request[4] == 0x03)) {
            if (request[4] == 0x01) ++cycle_;
            return liveData_(cycle_, request[4]);
        }
        if (service == 0x21) {
            Bytes text{0x61, request[4], 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J'};
            if (request[4] != 0xA3) text.resize(2 + 7);  // body and engine: 7 characters
            return sim::answerFrame(text);
        }
        return {};
    }
    std::function<Bytes(int, std::uint8_t)> liveData_;
    int cycle_ = 0;
};

struct Observed {
    std::mutex m;
    std::vector<bool> cycles;            // gotLiveData per cycle
    std::vector<float> battery;          // UB (parameter 72) after each cycle
    std::vector<int> newSampleAfterBad;  // newSample seen after a bad cycle
    std::vector<std::string> negatives;
};

void observe(Com_Port& port, Observed& o) {
    port.setCycleObserver([&o](const RecordLock& held, bool got) {
        const LiveRecord& r = held.record();
        std::lock_guard g(o.m);
        o.cycles.push_back(got);
        o.battery.push_back(r.analog[slotOf(72).index].value);
        auto& record = const_cast<LiveRecord&>(r);
        if (!got) o.newSampleAfterBad.push_back(record.newSample.load());
        record.newSample = 0;  // as the display clock does
    });
    port.setNegativeAnswerObserver([&o](const std::string& m) {
        std::lock_guard g(o.m);
        o.negatives.push_back(m);
    });
}

TEST(ComPortAnswers, ABadLiveDataCycleIsNotDecodedAndThreeInARowStartANewConnection) {
    std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
    LiveRecord& record = *ownedRecord;
    auto line = std::make_unique<LiveDataScriptLine>([](int cycle, std::uint8_t id) {
        Bytes a = id == 0x01 ? live01Answer(cycle) : live03Answer();  // values change every cycle
        if (cycle > 1) a.back() ^= 0xFF;                              // only the first cycle is well formed
        return a;
    });
    LiveDataScriptLine* seen = line.get();
    Com_Port port(record, std::move(line));
    Observed o;
    observe(port, o);
    port.resume();
    ASSERT_TRUE(testing::waitFor([&] { return port.pollCycles() >= 10; }));
    port.terminate();
    std::lock_guard g(o.m);
    EXPECT_TRUE(o.cycles.at(0));
    EXPECT_TRUE(std::none_of(o.cycles.begin() + 1, o.cycles.end(), [](bool b) { return b; }));
    for (float v : o.battery) EXPECT_EQ(v, o.battery[0]);  // the last good cycle stays
    for (int n : o.newSampleAfterBad) EXPECT_EQ(n, 0);
    // Cycle 1 good, then a new wake-up after every third bad cycle. The one
    // after the last third may not have come before the thread stopped.
    const long bad = port.pollCycles() - 1;
    EXPECT_GE(seen->wakeUps.load(), 1 + (bad - 1) / 3);
    EXPECT_LE(seen->wakeUps.load(), 1 + bad / 3);
    EXPECT_EQ(port.cyclesWithData(), 1);
    EXPECT_EQ(port.badAnswers().byKind[static_cast<int>(AnswerFault::Checksum)], 2 * bad);
}

TEST(ComPortAnswers, ANegativeAnswerIsToldOnceAndNeverDecoded) {
    std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
    LiveRecord& record = *ownedRecord;
    Com_Port port(record, std::make_unique<LiveDataScriptLine>([](int cycle, std::uint8_t id) {
                      if (cycle % 2 == 0 && id == 0x01) return sim::answerFrame({0x7F, 0x21, 0x12});
                      return id == 0x01 ? live01Answer() : live03Answer();
                  }));
    Observed o;
    observe(port, o);
    port.resume();
    ASSERT_TRUE(testing::waitFor([&] { return port.pollCycles() >= 8; }));
    port.terminate();
    std::lock_guard g(o.m);
    ASSERT_EQ(o.negatives.size(), 1u);
    EXPECT_EQ(o.negatives[0], "negative answer to 21 01: response code 0x12");
    for (std::size_t i = 0; i < o.cycles.size(); ++i) EXPECT_EQ(o.cycles[i], i % 2 == 0) << i;
    for (float v : o.battery) EXPECT_EQ(v, o.battery[0]);
    for (int n : o.newSampleAfterBad) EXPECT_EQ(n, 0);
}

// Bytes of no frame through the answers are named on the status strip; the
// last good values stay.
TEST(ComPortAnswers, NoiseThatSpoilsLiveDataIsNamed) {
    std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
    LiveRecord& record = *ownedRecord;
    Com_Port port(record, std::make_unique<LiveDataScriptLine>([](int cycle, std::uint8_t id) {
                      const Bytes a = id == 0x01 ? live01Answer(cycle) : live03Answer();
                      return cycle > 1 ? withNoise(a) : a;
                  }));
    std::mutex m;
    std::vector<LinkStatus> statuses;
    port.setStatusObserver([&](const LinkEvent& e) {
        std::lock_guard g(m);
        statuses.push_back(e.status);
    });
    port.resume();
    ASSERT_TRUE(testing::waitFor([&] { return port.pollCycles() >= 4; }));
    port.terminate();
    std::lock_guard g(m);
    const auto received = std::find(statuses.begin(), statuses.end(), LinkStatus::DataReceived);
    ASSERT_NE(received, statuses.end());
    EXPECT_NE(std::find(received, statuses.end(), LinkStatus::LineNoise), statuses.end());
    EXPECT_EQ(port.cyclesWithData(), 1);
    EXPECT_GT(port.badAnswers().byKind[static_cast<int>(AnswerFault::Noise)], 0) << port.badAnswers().summary();
}

TEST(ComPortAnswers, AnIdentificationAnswerThatFailsItsCheckLeavesItsTextsEmpty) {
    struct IdLine : LiveDataScriptLine {
        IdLine()
            : LiveDataScriptLine([](int, std::uint8_t id) { return id == 1 ? live01Answer() : live03Answer(); }) {}
    };
    std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
    LiveRecord& record = *ownedRecord;
    Com_Port port(record, std::make_unique<IdLine>());
    std::atomic<int> connections{0};
    port.setConnectionObserver([&](const Com_Port::Identification&) { ++connections; });
    port.resume();
    ASSERT_TRUE(testing::waitFor([&] { return connections > 0; }));
    port.terminate();
    std::lock_guard g(record.lock);
    // A1..A3 answered well; 1A 80 got no answer at all.
    EXPECT_EQ(record.identText[9], "ABCDEFG");
    EXPECT_EQ(record.identText[10], "ABCDEFGHIJ");
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(record.identText[i].empty()) << i;
}

}  // namespace
}  // namespace m797
