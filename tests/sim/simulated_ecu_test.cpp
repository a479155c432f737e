#include <gtest/gtest.h>

#include "sim/simulated_ecu.h"

namespace m797::sim {
namespace {

Bytes request(std::initializer_list<std::uint8_t> data) {
    Bytes f;
    f.reserve(data.size() + 4);
    f.push_back(static_cast<std::uint8_t>(0x80 + data.size()));
    f.push_back(0x10);
    f.push_back(0xF1);
    for (std::uint8_t b : data) f.push_back(b);
    unsigned sum = 0;
    for (auto b : f) sum += b;
    f.push_back(static_cast<std::uint8_t>(sum));
    return f;
}

// The program's read buffer: the echo of the request, then the answer.
Bytes buffer(const Bytes& req, const Bytes& answer) {
    Bytes b = req;
    b.insert(b.end(), answer.begin(), answer.end());
    return b;
}

bool checksumOk(const Bytes& answer) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < answer.size(); ++i) sum += answer[i];
    return static_cast<std::uint8_t>(sum) == answer.back();
}

class EcuTest : public ::testing::Test {
protected:
    void connect() {
        ecu.wakeUp(now);
        ASSERT_EQ(ecu.answer(request({0x81}), now), (Bytes{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}));
    }
    Bytes ask(std::initializer_list<std::uint8_t> data) {
        const Bytes req = request(data);
        return buffer(req, ecu.answer(req, now += 0.1));
    }
    SimulatedEcu ecu;
    double now = 1.0;
};

TEST_F(EcuTest, AnswersOnlyAfterAWakeUpAndUntilStopCommunication) {
    EXPECT_TRUE(ecu.answer(request({0x81}), now).empty());  // no wake-up yet
    EXPECT_TRUE(ecu.answer(request({0x21, 0x01}), now).empty());
    connect();
    EXPECT_TRUE(ecu.sessionActive());
    EXPECT_EQ(ask({0x82}).size(), 5u + 5u);
    EXPECT_FALSE(ecu.sessionActive());
    EXPECT_TRUE(ecu.answer(request({0x21, 0x01}), now).empty());
}

TEST_F(EcuTest, AnswersSitWhereTheProgramReadsThem) {
    connect();
    struct Case {
        std::initializer_list<std::uint8_t> data;
        std::size_t serviceAt;
        std::uint8_t service;
        std::size_t dataFrom, dataTo;  // inclusive buffer positions that must exist
    };
    const Case cases[] = {
        {{0x21, 0x01}, 10, 0x61, 12, 76},  // separate length byte at 9
        {{0x21, 0x03}, 9, 0x61, 11, 27},   {{0x21, 0xA1}, 9, 0x61, 11, 17},
        {{0x21, 0xA2}, 9, 0x61, 11, 17},   {{0x21, 0xA3}, 9, 0x61, 11, 20},
        {{0x1A, 0x80}, 10, 0x5A, 12, 104}, {{0x18, 0x00, 0x00, 0x00}, 11, 0x58, 12, 18},
    };
    for (const Case& c : cases) {
        const Bytes b = ask(c.data);
        const std::size_t echo = c.data.size() + 4;
        SCOPED_TRACE(::testing::Message() << "service " << int(*c.data.begin()));
        ASSERT_GT(b.size(), c.dataTo);
        EXPECT_EQ(b[echo + 1], 0xF1);
        EXPECT_EQ(b[echo + 2], 0x10);  // the source byte the loop tests
        EXPECT_EQ(b[c.serviceAt], c.service);
        EXPECT_TRUE(checksumOk(Bytes(b.begin() + echo, b.end())));
    }
    const Bytes live01 = ask({0x21, 0x01});
    EXPECT_EQ(live01[8], 0x10);
    EXPECT_EQ(live01[12], 2);  // stored errors
    const Bytes dtc = ask({0x18, 0x00, 0x00, 0x00});
    EXPECT_EQ(dtc[12], 2);
    EXPECT_EQ(Bytes(dtc.begin() + 13, dtc.begin() + 19), (Bytes{0x01, 0x02, 0xE8, 0x03, 0x00, 0x20}));
}

TEST_F(EcuTest, ClearingRemovesTheStoredCodes) {
    connect();
    EXPECT_EQ(ask({0x14, 0x00, 0x00})[7 + 3], 0x54);
    EXPECT_EQ(ask({0x18, 0x00, 0x00, 0x00})[12], 0);
    EXPECT_TRUE(ecu.troubleCodes().empty());
}

TEST_F(EcuTest, InputOutputControlReportsForcesAndReleases) {
    connect();
    // Ignition outputs are refused while the engine runs.
    for (std::uint8_t id : {0x05, 0x06}) {
        const Bytes report = ask({0x30, id, 0x01});
        EXPECT_EQ(Bytes(report.begin() + 10, report.begin() + 13), (Bytes{0x7F, 0x30, 0x22}));
    }
    EXPECT_EQ(ask({0x30, 0x0A, 0x01})[13], 0x00);        // fan 1 off
    EXPECT_EQ(ask({0x30, 0x0A, 0x06, 0xFF})[14], 0xFF);  // on answer: state at 14
    EXPECT_EQ(ask({0x30, 0x0A, 0x01})[13], 0xFF);
    EXPECT_TRUE(ecu.forcedOutput(0x0A).forced);
    EXPECT_EQ(ask({0x30, 0x0A, 0x00})[10], 0x70);  // release
    EXPECT_FALSE(ecu.forcedOutput(0x0A).forced);
    EXPECT_EQ(ask({0x30, 0x0A, 0x01})[13], 0x00);
    EXPECT_EQ(ask({0x30, 0x41, 0x07, 0x50})[14], 0x50);  // set value
    EXPECT_EQ(ecu.forcedOutput(0x41).value, 0x50);
    ecu.setEngineRunning(false);
    EXPECT_EQ(ask({0x30, 0x05, 0x01})[13], 0x00);
    EXPECT_EQ(ask({0x30, 0x05, 0x06, 0xFF})[14], 0xFF);
}

// Five seconds without a request end the session; a request just inside keeps it.
TEST_F(EcuTest, ASessionEndsFiveSecondsAfterTheLastRequest) {
    connect();
    now += 4.9;
    EXPECT_EQ(ecu.answer(request({0x21, 0x03}), now)[3], 0x61);
    now += 5.1;
    EXPECT_TRUE(ecu.answer(request({0x21, 0x03}), now).empty());
    EXPECT_FALSE(ecu.sessionActive());
    connect();
    EXPECT_EQ(ask({0x21, 0x03})[6 + 3], 0x61);
}

TEST_F(EcuTest, AfterAResetItStaysSilentForASecondAndNeedsANewWakeUp) {
    for (std::uint8_t mode : {0x01, 0x90}) {
        connect();
        ask({0x30, 0x0B, 0x06, 0xFF});
        EXPECT_EQ(ask({0x11, mode})[6 + 3], 0x51);
        EXPECT_FALSE(ecu.sessionActive());
        EXPECT_FALSE(ecu.forcedOutput(0x0B).forced);
        ecu.wakeUp(now + 0.5);
        EXPECT_TRUE(ecu.answer(request({0x81}), now + 0.5).empty());
        now += 1.2;
    }
    EXPECT_EQ(ecu.resets(), 2);
}

TEST(EcuVariants, OtherKeyBytesStillEndInC3AndLiveDataStopsOnce) {
    SimulatedEcu ecu({true, 2, 1.0});
    ecu.wakeUp(0);
    const Bytes start = ecu.answer(request({0x81}), 0);
    ASSERT_EQ(start.size(), 7u);
    EXPECT_EQ(start.back(), 0xC3);
    EXPECT_NE(start[5], 0x8F);
    EXPECT_TRUE(checksumOk(start));
    EXPECT_FALSE(ecu.answer(request({0x21, 0x01}), 0.1).empty());
    EXPECT_FALSE(ecu.answer(request({0x21, 0x01}), 0.2).empty());
    EXPECT_TRUE(ecu.answer(request({0x21, 0x01}), 0.3).empty());
    EXPECT_FALSE(ecu.sessionActive());
    ecu.wakeUp(0.4);
    ecu.answer(request({0x81}), 0.4);
    for (double t = 0.5; t < 1.5; t += 0.1) EXPECT_FALSE(ecu.answer(request({0x21, 0x01}), t).empty());
}

TEST(EngineModel, IdlesNear850BlipsAndWarmsUp) {
    EngineModel engine;
    double minRpm = 1e9, maxRpm = 0;
    for (double t = 0; t < 30; t += 0.05) {
        engine.advance(t);
        minRpm = std::min(minRpm, engine.state().rpm);
        maxRpm = std::max(maxRpm, engine.state().rpm);
    }
    EXPECT_GT(minRpm, 780);
    EXPECT_LT(minRpm, 1000);
    EXPECT_GT(maxRpm, 2000);
    engine.advance(0);
    const double cold = engine.state().coolantC;
    engine.advance(300);
    EXPECT_GT(engine.state().coolantC, cold + 50);
    std::uint8_t live01[kLive01DataBytes];
    engine.fillLive01(live01, 2);
    EXPECT_NEAR(live01[19 - 12] * 40.0, engine.state().rpm, 40.0);  // NMOT at position 19
}

}  // namespace
}  // namespace m797::sim
