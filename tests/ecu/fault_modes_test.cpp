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
                         ::testing::Values(FaultCase{sim::Fault::BadChecksum, "BadChecksum", AnswerFault::Checksum},
                                           FaultCase{sim::Fault::Truncated, "Truncated", AnswerFault::Truncated},
                                           FaultCase{sim::Fault::Negative, "Negative", AnswerFault::Negative},
                                           FaultCase{sim::Fault::Garbled, "Garbled", AnswerFault::Header}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace m797
