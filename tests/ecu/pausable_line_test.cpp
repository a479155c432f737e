// The pausable line between the acquisition thread and the serial line: an
// exchange cut short by a pause reads on without writing its request again,
// and a command withdrawn while the link was paused is never written.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "ecu/line_gate.h"
#include "ecu/pausable_line.h"

namespace m797 {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Answers every request with `answer`, handing out `cuts` pieces before the
// last: each piece ends as if the interrupt descriptor had fired.
class CutLine : public SerialLine {
public:
    Bytes answer;
    std::vector<std::uint32_t> cuts;  // bytes delivered when each cut comes
    std::vector<Bytes> written;
    int continued = 0;

    bool openPort() override { return true; }
    std::uint32_t exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* out,
                           std::uint32_t capacity) override {
        written.emplace_back(request, request + length);
        next_ = 0;
        return deliver(out, 0, capacity);
    }
    std::uint32_t continueRead(std::uint8_t* out, std::uint32_t got, std::uint32_t capacity) override {
        ++continued;
        return deliver(out, got, capacity);
    }
    bool lastReadInterrupted() const override { return interrupted_; }
    void sendWakeUpPulse() override {}
    void closePort() override {}

private:
    std::uint32_t deliver(std::uint8_t* out, std::uint32_t got, std::uint32_t capacity) {
        interrupted_ = next_ < cuts.size();
        const std::uint32_t upTo = std::min<std::uint32_t>(
            interrupted_ ? cuts[next_++] : static_cast<std::uint32_t>(answer.size()), capacity);
        for (std::uint32_t i = got; i < upTo; ++i) out[i] = answer[i];
        return std::max(got, upTo);
    }
    std::size_t next_ = 0;
    bool interrupted_ = false;
};

const Bytes kClear{0x83, 0x10, 0xF1, 0x14, 0x00, 0x00, 0x98};
const Bytes kClearAnswer{0x83, 0x10, 0xF1, 0x14, 0x00, 0x00, 0x98, 0x81, 0xF1, 0x10, 0x54, 0xD5};

TEST(PausableLine, AnExchangeCutShortReadsOnWithoutWritingAgain) {
    struct Case {
        std::vector<std::uint32_t> cuts;
        int continued;
    };
    const Case cases[] = {{{}, 0}, {{0}, 1}, {{3}, 1}, {{7, 9}, 2}, {{12}, 1}};
    for (const Case& c : cases) {
        CutLine inner;
        inner.answer = kClearAnswer;
        inner.cuts = c.cuts;
        LineGate gate;
        gate.open();
        PausableLine line(inner, gate);
        std::uint8_t answer[40] = {};
        const std::uint32_t got = line.exchange(kClear.data(), 7, answer, sizeof answer);
        EXPECT_EQ(inner.written, std::vector<Bytes>{kClear}) << c.cuts.size();
        EXPECT_EQ(inner.continued, c.continued);
        ASSERT_EQ(got, kClearAnswer.size());
        EXPECT_EQ(Bytes(answer, answer + got), kClearAnswer);
    }
}

// The thread decided to send a command, then the link was paused before the
// write; the window withdrew the command meanwhile.
TEST(PausableLine, ACommandWithdrawnDuringAPauseIsNotWritten) {
    for (const bool withdrawn : {true, false}) {
        CutLine inner;
        inner.answer = kClearAnswer;
        LineGate gate;  // closed: "Стоп"
        PausableLine line(inner, gate);
        std::atomic<std::uint8_t> flag{1};
        std::atomic<bool> sent{false};
        std::thread thread([&] {
            std::uint8_t answer[40];
            std::uint32_t got = 0;
            sent = line.exchangeIfWanted([&] { return flag.load() == 1; }, kClear.data(), 7, answer, 40, got);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        if (withdrawn) flag = 0;
        gate.open();  // "Старт"
        thread.join();
        EXPECT_EQ(sent.load(), !withdrawn);
        EXPECT_EQ(inner.written.size(), withdrawn ? 0u : 1u);
    }
}

}  // namespace
}  // namespace m797
