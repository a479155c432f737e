// The simulator on its pseudo-terminal, seen from the program's side.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ecu/posix_serial_line.h"
#include "sim/k_line_simulator.h"

namespace m797::sim {
namespace {

using namespace std::chrono;

const std::uint8_t kStop[] = {0x81, 0x10, 0xF1, 0x82, 0x04};
const std::uint8_t kStart[] = {0x81, 0x10, 0xF1, 0x81, 0x03};

struct Opened {
    explicit Opened(SimOptions o, LineTimeouts timeouts = {}) : simulator(o) {
        EXPECT_TRUE(simulator.start());
        line = std::make_unique<PosixSerialLine>(simulator.slavePath(), timeouts);
        EXPECT_TRUE(line->openPort());
    }
    KLineSimulator simulator;
    std::unique_ptr<PosixSerialLine> line;
    std::uint8_t answer[140] = {};
};

SimOptions timing(bool real, Fault fault = Fault::None) {
    SimOptions o;
    o.realTiming = real;
    o.fault = fault;
    return o;
}

TEST(KLineSimulator, EchoesWakesAtThreeSixtyBaudAndLogsEveryFrameWithItsRate) {
    Opened s(timing(false));
    EXPECT_EQ(s.line->exchange(kStart, 5, s.answer, 14), 5u);  // not woken: echo only
    s.line->sendWakeUpPulse();
    ASSERT_EQ(s.line->exchange(kStart, 5, s.answer, 14), 12u);
    EXPECT_EQ(std::vector<std::uint8_t>(s.answer, s.answer + 12),
              (std::vector<std::uint8_t>{0x81, 0x10, 0xF1, 0x81, 0x03, 0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}));
    const auto frames = s.simulator.frames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[1].bytes, std::vector<std::uint8_t>{0x00});
    EXPECT_EQ(frames[1].baud, 360u);
    EXPECT_EQ(frames[2].baud, 10400u);
    EXPECT_TRUE(s.simulator.ecu().sessionActive);
    s.line->exchange(kStop, 5, s.answer, 14);
    EXPECT_FALSE(s.simulator.ecu().sessionActive);
    s.simulator.clearFrames();
    EXPECT_TRUE(s.simulator.frames().empty());
}

TEST(KLineSimulator, RealTimingTakesTheTimeOfTheBytesOnTheWire) {
    // The read ends on its 12th byte; a long silence limit only keeps a
    // simulator thread that a loaded machine holds up from ending it early.
    LineTimeouts patient;
    patient.readIntervalMs = 250;
    Opened s(timing(true), patient);
    s.line->sendWakeUpPulse();
    const auto t0 = steady_clock::now();
    const std::uint32_t n = s.line->exchange(kStart, 5, s.answer, 12);  // ends on the 12th byte
    const double ms = duration<double, std::milli>(steady_clock::now() - t0).count();
    EXPECT_EQ(n, 12u);
    EXPECT_GE(ms, 12 * 0.96 + 25 - 2);
    EXPECT_LT(ms, 200);
}

TEST(KLineSimulator, FaultModesShapeWhatComesBack) {
    struct Case {
        Fault fault;
        std::uint32_t startBytes;  // read for StartCommunication after a wake-up
    };
    for (const Case c : {Case{Fault::NoAdapter, 0}, Case{Fault::EchoOnly, 5}, Case{Fault::OtherKeyBytes, 12}}) {
        LineTimeouts shortReads{20, 2, 20, 30};
        KLineSimulator simulator(timing(false, c.fault));
        ASSERT_TRUE(simulator.start());
        PosixSerialLine line(simulator.slavePath(), shortReads);
        ASSERT_TRUE(line.openPort());
        std::uint8_t answer[14] = {};
        line.sendWakeUpPulse();
        EXPECT_EQ(line.exchange(kStart, 5, answer, 14), c.startBytes);
        if (c.fault == Fault::OtherKeyBytes) {
            EXPECT_EQ(answer[11], 0xC3);
            EXPECT_NE(answer[10], 0x8F);
        }
    }
}

TEST(KLineSimulator, EveryThirdAnswerIsDamagedAsTheFaultModeSays) {
    const std::uint8_t live03[] = {0x82, 0x10, 0xF1, 0x21, 0x03, 0xA7};
    for (Fault fault : {Fault::BadChecksum, Fault::Negative, Fault::Truncated}) {
        LineTimeouts shortReads{20, 2, 20, 30};
        KLineSimulator simulator(timing(false, fault));
        ASSERT_TRUE(simulator.start());
        PosixSerialLine line(simulator.slavePath(), shortReads);
        ASSERT_TRUE(line.openPort());
        std::uint8_t answer[40] = {};
        line.sendWakeUpPulse();
        ASSERT_EQ(line.exchange(kStart, 5, answer, 14), 12u);
        std::uint32_t n[3] = {};
        std::uint8_t third[40] = {};
        for (int i = 0; i < 3; ++i) n[i] = line.exchange(live03, 6, i == 2 ? third : answer, 40);
        ASSERT_EQ(n[0], 6u + 3 + 2 + 17 + 1);  // echo, header, 61 03, data, checksum
        EXPECT_EQ(n[1], n[0]);
        unsigned sum = 0;
        for (std::uint32_t k = 6; k + 1 < n[2]; ++k) sum += third[k];
        switch (fault) {
        case Fault::BadChecksum:
            EXPECT_EQ(n[2], n[0]);
            EXPECT_NE(sum & 0xFF, third[n[2] - 1]);
            break;
        case Fault::Negative:
            EXPECT_EQ(n[2], 6u + 3 + 3 + 1);
            EXPECT_EQ(third[9], 0x7F);
            EXPECT_EQ(third[10], 0x21);
            EXPECT_EQ(third[11], 0x21);
            EXPECT_EQ(sum & 0xFF, third[12]);
            break;
        default: EXPECT_EQ(n[2], 6u + (n[0] - 6) / 2);
        }
    }
}

// What the line carries besides the two parties, for StartCommunication after
// a wake-up and then the trouble-code read.
TEST(KLineSimulator, SharedLineFaultModesAddToWhatComesBack) {
    using Bytes = std::vector<std::uint8_t>;
    const std::uint8_t readDtc[] = {0x84, 0x10, 0xF1, 0x18, 0x00, 0x00, 0x00, 0x9D};
    const Bytes startEcho(kStart, kStart + 5);
    const Bytes accepted{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3};
    const Bytes dtcEcho(readDtc, readDtc + 8);
    const Bytes twoCodes{0x88, 0xF1, 0x10, 0x58, 0x02, 0x01, 0x02, 0xE8, 0x03, 0x00, 0x20, 0xF1};
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const struct Case {
        Fault fault;
        Bytes start, codes;
    } cases[] = {
        {Fault::DoubleEcho, join({{0x81, 0x81, 0x10, 0x10, 0xF1, 0xF1, 0x81, 0x81, 0x03, 0x03}, accepted}),
         join({{0x84, 0x84, 0x10, 0x10, 0xF1, 0xF1, 0x18, 0x18, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x9D, 0x9D},
               twoCodes})},
        {Fault::OtherUnit, join({startEcho, accepted, {0x83, 0xF1, 0x17, 0xC1, 0xEF, 0x8F, 0xCA}}),
         join({dtcEcho, twoCodes, {0x88, 0xF1, 0x17, 0x58, 0x02, 0x01, 0x02, 0xE8, 0x03, 0x00, 0x20, 0xF8}})},
        {Fault::RefusedCodes, join({startEcho, accepted}),
         join({dtcEcho, {0x83, 0xF1, 0x10, 0x7F, 0x18, 0x22, 0x3D}})},
    };
    for (const Case& c : cases) {
        Opened s(timing(false, c.fault), LineTimeouts{20, 2, 20, 30});
        std::uint8_t answer[64] = {};
        s.line->sendWakeUpPulse();
        const std::uint32_t n = s.line->exchange(kStart, 5, answer, 64);
        EXPECT_EQ(Bytes(answer, answer + n), c.start);
        const std::uint32_t m = s.line->exchange(readDtc, 8, answer, 64);
        EXPECT_EQ(Bytes(answer, answer + m), c.codes);
    }
    // Noise never lets the line fall silent: a read ends only when full.
    Opened noisy(timing(false, Fault::LineNoise), LineTimeouts{20, 2, 20, 30});
    std::uint8_t answer[40] = {};
    EXPECT_EQ(noisy.line->exchange(kStop, 5, answer, 40), 40u);
}

TEST(KLineSimulator, LinksThePseudoTerminalWhereAsked) {
    SimOptions o = timing(false);
    o.linkPath = ::testing::TempDir() + "m797-sim-link";
    {
        KLineSimulator simulator(o);
        ASSERT_TRUE(simulator.start());
        PosixSerialLine line(o.linkPath);
        EXPECT_TRUE(line.openPort()) << line.lastErrorText();
    }
    PosixSerialLine gone(o.linkPath);
    EXPECT_FALSE(gone.openPort());  // the link goes with the simulator
}

}  // namespace
}  // namespace m797::sim
