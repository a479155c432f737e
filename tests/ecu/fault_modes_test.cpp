// Against every damaging fault mode of the simulator the record shows only
// what a well-formed answer carried, the bad answers are counted by kind, and
// the link keeps polling.
#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <vector>

#include "tests/ecu/link_fixture.h"

namespace m797 {
namespace {

using namespace m797::testing;

struct FaultCase {
    sim::Fault fault;
    const char* name;
    AnswerFault counted;  // a kind that must show up among the bad answers
};

class FaultModes : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultModes, OnlyWellFormedAnswersReachTheRecord) {
    const FaultCase& c = GetParam();
    Link link(fastSim(c.fault));
    std::mutex m;
    std::vector<float> battery, motorTemperature;  // ADC_BAT, TMOT after every cycle
    std::vector<int> newSampleAfterBad;
    link.port->setCycleObserver([&](const RecordLock& held, bool got) {
        const LiveRecord& r = held.record();
        std::lock_guard g(m);
        battery.push_back(r.analog[slotOf(2).index].value);
        motorTemperature.push_back(r.analog[slotOf(69).index].value);
        auto& record = const_cast<LiveRecord&>(r);
        if (!got) newSampleAfterBad.push_back(record.newSample.load());
        record.newSample = 0;  // as the display clock does
        link.cycles++;
        if (got) link.cyclesWithData++;
    });
    std::vector<std::string> negatives;
    link.port->setNegativeAnswerObserver([&](const std::string& text) {
        std::lock_guard g(m);
        negatives.push_back(text);
    });
    link.port->resume();
    ASSERT_TRUE(waitFor([&] { return link.cyclesWithData >= 20 && link.cycles > link.cyclesWithData; }, 20000));
    link.port->suspend();
    std::lock_guard g(m);
    // The simulated engine's battery and temperature stay in these ranges;
    // a decoded negative or cut answer lands far outside them.
    for (std::size_t i = 0; i < battery.size(); ++i) {
        if (battery[i] == 0.0f) continue;  // before the first good cycle
        EXPECT_GT(battery[i], 8.0f) << i;
        EXPECT_LT(battery[i], 18.0f) << i;
        EXPECT_GT(motorTemperature[i], -40.0f) << i;
        EXPECT_LT(motorTemperature[i], 130.0f) << i;
    }
    for (int n : newSampleAfterBad) EXPECT_EQ(n, 0);
    const AnswerCounts bad = link.port->badAnswers();
    EXPECT_GT(bad.byKind[static_cast<int>(c.counted)], 0) << bad.summary();
    EXPECT_EQ(link.port->cyclesWithData() + link.port->cyclesWithoutData(), link.port->pollCycles());
    if (c.fault == sim::Fault::Negative) {
        std::set<std::string> distinct(negatives.begin(), negatives.end());
        EXPECT_EQ(distinct.size(), negatives.size()) << "each kind is told once";
        EXPECT_FALSE(negatives.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Sim, FaultModes,
                         ::testing::Values(FaultCase{sim::Fault::BadChecksum, "BadChecksum",
                                                     AnswerFault::Checksum},
                                           FaultCase{sim::Fault::Truncated, "Truncated", AnswerFault::Truncated},
                                           FaultCase{sim::Fault::Negative, "Negative", AnswerFault::Negative},
                                           FaultCase{sim::Fault::Garbled, "Garbled", AnswerFault::Header}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// The line carries more than the two parties: frames of another unit after
// every answer, or an adapter that echoes every byte twice. The control
// unit's answers are found among them, at the connection and in polling.
struct SharedLineCase {
    sim::Fault fault;
    bool realTiming;
    const char* name;
};

class SharedLine : public ::testing::TestWithParam<SharedLineCase> {};

// Reads end 60 ms after the last byte: longer than the simulator's 25 ms
// before an answer, so a loaded machine does not cut one off. The wake-up
// takes its 50 ms, as with a car: an adapter that echoes twice sends the
// second copy of the 360-baud byte after it, among the next echo's bytes.
constexpr LineTimeouts kRealLineTimeouts{60, 2, 300, 50};

TEST_P(SharedLine, StillGivesLiveDataAndTroubleCodes) {
    const SharedLineCase& c = GetParam();
    sim::SimOptions options = fastSim(c.fault);
    options.realTiming = c.realTiming;
    Link link(options, c.realTiming ? kRealLineTimeouts : kFastTimeouts);
    link.record.readDtcRequest = 1;
    link.port->resume();
    const bool polled = waitFor([&] { return link.cyclesWithData >= 5; }, 30000);
    link.port->suspend();
    ASSERT_TRUE(polled) << ::testing::PrintToString(link.statusLog());
    for (const std::string& status : link.statusLog()) {
        EXPECT_NE(status, "Адаптер не подключен!");
        EXPECT_NE(status, "Проверте адаптер!");
    }
    if (!c.realTiming) {
        EXPECT_EQ(link.port->badAnswers().total(), 0) << link.port->badAnswers().summary();
    }
    const RecordLock held(link.record);
    const float battery = link.record.analog[slotOf(72).index].value;
    EXPECT_GT(battery, 8.0f);
    EXPECT_LT(battery, 18.0f);
    EXPECT_EQ(static_cast<int>(link.record.dtcAnswer), static_cast<int>(TroubleCodeAnswer::Read));
    EXPECT_EQ(link.record.dtcResponse[12], 2);
}

INSTANTIATE_TEST_SUITE_P(Sim, SharedLine,
                         ::testing::Values(SharedLineCase{sim::Fault::OtherUnit, false, "OtherUnit"},
                                           SharedLineCase{sim::Fault::OtherUnit, true, "OtherUnitRealTiming"},
                                           SharedLineCase{sim::Fault::DoubleEcho, false, "DoubleEcho"},
                                           SharedLineCase{sim::Fault::DoubleEcho, true, "DoubleEchoRealTiming"}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// Noise through every answer: the connection fails, and the status says the
// line is noisy, not that the adapter is missing.
TEST(LineFaults, NoiseThatSpoilsEveryAnswerIsNamed) {
    sim::SimOptions options = fastSim(sim::Fault::LineNoise);
    options.realTiming = true;
    Link link(options, kRealLineTimeouts);
    link.port->resume();
    ASSERT_TRUE(waitFor([&] { return link.giveUps >= 1; }, 60000)) << ::testing::PrintToString(link.statusLog());
    const std::vector<std::string> statuses = link.statusLog();
    EXPECT_EQ(statuses.back(), "Помехи на линии!");
    for (const std::string& status : statuses) {
        EXPECT_NE(status, "Адаптер не подключен!");
        EXPECT_NE(status, "Проверте адаптер!");
    }
    EXPECT_EQ(link.cycles, 0);
}

// A refused trouble-code read is shown as a refusal with its code, never as
// rows; live data goes on.
TEST(LineFaults, ARefusedTroubleCodeReadLeavesNoRows) {
    Link link(fastSim(sim::Fault::RefusedCodes));
    link.record.readDtcRequest = 1;
    link.port->resume();
    const bool polled = waitFor([&] { return link.cyclesWithData >= 3; });
    link.port->suspend();
    ASSERT_TRUE(polled);
    const RecordLock held(link.record);
    EXPECT_EQ(static_cast<int>(link.record.dtcAnswer), static_cast<int>(TroubleCodeAnswer::Refused));
    EXPECT_EQ(link.record.dtcRefusalCode, 0x22);
    EXPECT_EQ(link.record.dtcResponse[12], 0) << "no count of codes";
}

}  // namespace
}  // namespace m797
