// The ELM327 text dialogue as plain functions: answers parsed, requests
// written, and what comes back laid out so the answer checks judge it as
// they judge a plain adapter's read.
#include <gtest/gtest.h>

#include <vector>

#include "ecu/answer_check.h"
#include "ecu/elm327_dialogue.h"
#include "ecu/request_table.h"
#include "sim/elm327_interpreter.h"
#include "sim/simulated_ecu.h"

namespace m797 {
namespace {

using Bytes = std::vector<std::uint8_t>;
const Bytes kStartAnswer{0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3};

TEST(ElmAnswerText, EveryMessageMapsToWhatAPlainAdapterWouldShow) {
    struct Row {
        const char* text;
        ElmOutcome outcome;
        Bytes bytes;
    };
    const Row rows[] = {
        {"83F110C1EF8FC3\r\r", ElmOutcome::Frames, kStartAnswer},
        {"83 F1 10 C1 EF 8F C3 \r\n\r\n", ElmOutcome::Frames, kStartAnswer},
        {"BUS INIT: ...OK\r83F110C1EF8FC3\r", ElmOutcome::Frames, kStartAnswer},
        {"SEARCHING...\r83F110C1EF8FC3\r", ElmOutcome::Frames, kStartAnswer},
        {"83F110C1\r83F110C1\r", ElmOutcome::Frames, {0x83, 0xF1, 0x10, 0xC1, 0x83, 0xF1, 0x10, 0xC1}},
        {"NO DATA\r\r", ElmOutcome::NoData, {}},
        {"", ElmOutcome::NoData, {}},
        {"BUS INIT: ...ERROR\r", ElmOutcome::NoConnection, {}},
        {"BUS INIT: ERROR\r", ElmOutcome::NoConnection, {}},
        {"SEARCHING...\rUNABLE TO CONNECT\r", ElmOutcome::NoConnection, {}},
        {"BUS ERROR\r", ElmOutcome::NoConnection, {}},
        {"ERR94\r", ElmOutcome::NoConnection, {}},
        {"?\r", ElmOutcome::Damaged, {}},
        {"83F110C1EF8FC4<DATA ERROR\r", ElmOutcome::Damaged, {0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC4}},
        {"83 F1 10 C1 EF 8F C4 <DATA ERROR\r", ElmOutcome::Damaged, {0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC4}},
        {"83F110 <RX ERROR\r", ElmOutcome::Damaged, {0x83, 0xF1, 0x10}},
        {"83F110C1\rBUFFER FULL\r", ElmOutcome::Damaged, {0x83, 0xF1, 0x10, 0xC1}},
        {"STOPPED\r", ElmOutcome::Damaged, {}},
        {"83F11\r", ElmOutcome::Damaged, {}},  // odd digits: a character lost on the way
        {"HELLO\r", ElmOutcome::Damaged, {}},
        {"NO DATA\rBUS INIT: ...ERROR\r", ElmOutcome::NoConnection, {}},  // the worst wins
    };
    for (const Row& r : rows) {
        const ElmAnswer a = parseElmAnswer(r.text);
        EXPECT_EQ(a.outcome, r.outcome) << r.text;
        EXPECT_EQ(a.bytes, r.bytes) << r.text;
    }
}

// Laid out behind the request's echo, every outcome but a good frame fails
// the answer checks: nothing the adapter flagged is ever decoded.
TEST(ElmAnswerText, LaidOutAnswersAreJudgedByTheAnswerChecks) {
    RequestTable table;
    AnswerRules rules(table);
    Request& live03 = table.liveData03;
    sim::SimulatedEcu ecu;
    ecu.wakeUp(0);
    ecu.answer({0x81, 0x10, 0xF1, 0x81, 0x03}, 0);
    const Bytes good = ecu.answer(Bytes(live03.frame, live03.frame + live03.length), 0.1);
    const Bytes& goodSumDamaged = good;  // flagged by the adapter though its sum is right
    Bytes badSum = good;
    badSum.back() ^= 0x01;
    struct Row {
        ElmOutcome outcome;
        Bytes bytes;
        AnswerFault fault;
    };
    const Row rows[] = {
        {ElmOutcome::Frames, good, AnswerFault::None},
        {ElmOutcome::NoData, {}, AnswerFault::NoAnswer},
        {ElmOutcome::NoConnection, {}, AnswerFault::NoAnswer},
        {ElmOutcome::Damaged, badSum, AnswerFault::Checksum},
        {ElmOutcome::Damaged, goodSumDamaged, AnswerFault::Checksum},
        {ElmOutcome::Damaged, {}, AnswerFault::Truncated},
        {ElmOutcome::Damaged, Bytes(good.begin(), good.begin() + 6), AnswerFault::Truncated},
    };
    for (const Row& r : rows) {
        std::fill(std::begin(live03.answer), std::end(live03.answer), 0);
        const std::uint32_t n = layOutAsPlainAdapter({live03.frame, live03.length}, ElmAnswer{r.outcome, r.bytes},
                                                     live03.answer, live03.capacity);
        EXPECT_EQ(checkAnswer(live03, n, rules.liveData03.rule).fault, r.fault) << static_cast<int>(r.outcome);
    }
}

TEST(ElmAnswerText, LayOutStopsAtTheCapacity) {
    const Bytes request{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
    std::uint8_t out[8] = {};
    EXPECT_EQ(layOutAsPlainAdapter(request, ElmAnswer{ElmOutcome::Frames, kStartAnswer}, out, 8), 8u);
    EXPECT_EQ(out[6], 0x83);
    EXPECT_EQ(out[7], 0xF1);
}

TEST(ElmRequestText, FramesBecomeHexWithAResponseCount) {
    struct Row {
        Bytes frame;
        int count;
        bool valid;
        const char* text;
    };
    const Row rows[] = {
        {{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5}, 1, true, "21011"},
        {{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5}, 0, true, "2101"},
        {{0x84, 0x10, 0xF1, 0x18, 0x00, 0x00, 0x00, 0x9D}, 1, true, "180000001"},
        {{0x80, 0x10, 0xF1, 0x02, 0x21, 0x01, 0xA5}, 1, true, "21011"},  // with a length byte
        {{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA6}, 1, false, ""},            // bad checksum: never sent
        {{0x82, 0x10, 0xF1, 0x21, 0x01}, 1, false, ""},                  // cut short
        {{0x02, 0x10, 0xF1, 0x21, 0x01, 0x25}, 1, false, ""},            // no address mode
    };
    for (const Row& r : rows) {
        const ElmRequest q = elmRequestFor(r.frame, r.count);
        EXPECT_EQ(q.valid, r.valid) << r.text;
        if (r.valid) {
            EXPECT_EQ(q.text, r.text);
        }
    }
    const ElmRequest q = elmRequestFor(Bytes{0x84, 0x10, 0xF1, 0x30, 0x0A, 0x06, 0xFF, 0xC4}, 1);
    EXPECT_EQ(elmHeaderCommand(q.target, q.source), "ATSH8110F1");
    EXPECT_EQ(q.service, 0x30);
}

TEST(ElmReplies, IdentityKeyBytesAndEchoedCommands) {
    EXPECT_TRUE(isElm327Identity("ELM327 v1.5"));
    EXPECT_TRUE(isElm327Identity("elm327 v2.1"));
    EXPECT_FALSE(isElm327Identity("OBDLink SX r4.2"));
    EXPECT_FALSE(isElm327Identity(""));
    EXPECT_EQ(elmReplyLine("ATI\rELM327 v1.5\r\r", "ATI"), "ELM327 v1.5");
    EXPECT_EQ(elmReplyLine("AT I\r\nOK\r\n\r\n", "ATI"), "OK");
    std::uint8_t k1 = 0, k2 = 0;
    EXPECT_TRUE(parseElmKeyBytes("1:EF 2:8F", k1, k2));
    EXPECT_EQ(k1, 0xEF);
    EXPECT_EQ(k2, 0x8F);
    EXPECT_TRUE(parseElmKeyBytes("1:e92:8f", k1, k2));
    EXPECT_EQ(k1, 0xE9);
    EXPECT_FALSE(parseElmKeyBytes("1:-- 2:--", k1, k2));
    EXPECT_FALSE(parseElmKeyBytes("?", k1, k2));
    EXPECT_EQ(startCommunicationAnswer(0xF1, 0x10, 0xEF, 0x8F), kStartAnswer);
}

// Through the simulated adapter set up as the line sets it up, every request
// of the table comes back exactly as the plain adapter reads it from the
// same control unit at the same moment.
TEST(ElmRoundTrip, EveryRequestComesBackAsThePlainAdapterReadsIt) {
    sim::SimulatedEcu behindAdapter, onKLine;
    sim::Elm327Interpreter elm(behindAdapter, sim::ElmFault::None, false);
    for (const char* c : {"ATWS", "ATE0", "ATL0"}) elm.onLine(c, 0);
    for (const ElmSetupStep& step : elmSetupSteps()) ASSERT_EQ(elm.onLine(step.command, 0).text, "OK\r\r>");
    ASSERT_EQ(elm.onLine("ATFI", 0).text, "BUS INIT: ...OK\r\r>");
    std::uint8_t k1 = 0, k2 = 0;
    EXPECT_TRUE(parseElmKeyBytes(elmReplyLine(elm.onLine("ATKW", 0).text, "ATKW"), k1, k2));
    EXPECT_EQ(startCommunicationAnswer(0xF1, 0x10, k1, k2), kStartAnswer);
    onKLine.wakeUp(0);
    onKLine.answer({0x81, 0x10, 0xF1, 0x81, 0x03}, 0);

    RequestTable table;
    const Request* requests[] = {&table.identA1,    &table.identA2,    &table.identA3, &table.ecuIdentification,
                                 &table.liveData01, &table.liveData03, &table.readDtc, &table.clearDtc};
    double now = 0.5;
    for (const Request* r : requests) {
        const Bytes frame(r->frame, r->frame + r->length);
        const ElmRequest q = elmRequestFor(frame, 1);
        std::string text = elm.onLine(q.text, now).text;
        ASSERT_EQ(text.back(), '>');
        text.pop_back();
        const ElmAnswer a = parseElmAnswer(text);
        Bytes expected = frame;
        const Bytes direct = onKLine.answer(frame, now);
        expected.insert(expected.end(), direct.begin(), direct.end());
        std::vector<std::uint8_t> laidOut(1024);
        laidOut.resize(layOutAsPlainAdapter(frame, a, laidOut.data(), 1024));
        EXPECT_EQ(laidOut, expected) << q.text;
        now += 0.2;
    }
}

}  // namespace
}  // namespace m797
