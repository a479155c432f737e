#include <gtest/gtest.h>
#include <memory>

#include <algorithm>
#include <atomic>
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
        if (cycle > 1) a.back() ^= 0xFF;  // only the first cycle is well formed
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

TEST(ComPortAnswers, AnIdentificationAnswerThatFailsItsCheckLeavesItsTextsEmpty) {
    struct IdLine : LiveDataScriptLine {
        IdLine() : LiveDataScriptLine([](int, std::uint8_t id) { return id == 1 ? live01Answer() : live03Answer(); }) {}
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
