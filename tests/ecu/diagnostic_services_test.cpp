// The diagnostic requests of one poll cycle against a scripted line: which
// frames go out, in which order, and what the answers leave in the record.

#include <gtest/gtest.h>
#include <memory>

#include <algorithm>
#include <sstream>
#include <string>

#include "app/record/cp1251.h"
#include "app/record/record_lock.h"
#include "ecu/crash_release.h"
#include "ecu/diagnostic_services.h"
#include "ecu/request_table.h"
#include "tests/ecu/scripted_line.h"

namespace m797 {
namespace {

using test::answerFrame;
using test::Bytes;
using test::ScriptedLine;

Bytes hex(const std::string& text) {
    std::istringstream in(text);
    Bytes out;
    unsigned v = 0;
    while (in >> std::hex >> v) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

std::string stateOf(LiveRecord& record, int entry) {
    std::lock_guard<std::mutex> guard(record.lock);
    return cp1251ToUtf8(record.actuator[entry].stateText);
}

struct Fixture : ::testing::Test {
    std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
    LiveRecord& record = *ownedRecord;
    RequestTable table;
    ScriptedLine line;
    void cycle() { serveDiagnosticRequests(line, table, record); }
    void setStateText(int entry, const char* utf8) {
        const RecordWriteLock held(record);
        record.actuator[entry].stateText = toCp1251(utf8);
    }
};

using DiagnosticServices = Fixture;

TEST_F(DiagnosticServices, ServesEveryRequestOnceInItsFixedOrder) {
    record.readDtcRequest = 1;
    record.clearDtcRequest = 1;
    record.actuatorWindowOpen = 1;
    record.actuator[0].onRequest = 1;
    record.actuator[0].offRequest = 1;
    record.actuator[0].reportRequest = 1;
    record.actuator[0].releaseRequest = 1;
    record.actuator[4].onRequest = 1;
    record.actuator[4].reportRequest = 1;
    record.actuator[4].releaseRequest = 1;
    storeSetValueFrameHeads(record);
    completeSetValueFrame(RecordWriteLock(record), 12, 0x20);
    record.actuator[12].setRequest = 1;
    record.actuator[12].reportRequest = 1;
    record.actuator[12].releaseRequest = 1;
    record.ecuResetRequest = 1;
    record.ecuInitRequest = 1;
    line.answer(hex("83 10 F1 30 01 00 B5"), answerFrame(hex("70 01 00")));
    line.answer(hex("83 10 F1 30 05 00 B9"), answerFrame(hex("70 05 00")));
    line.answer(hex("83 10 F1 30 41 00 F5"), answerFrame(hex("70 41 00")));

    cycle();

    const std::vector<Bytes> expected = {
        hex("84 10 F1 18 00 00 00 9D"), hex("83 10 F1 14 00 00 98"), hex("84 10 F1 30 01 06 FF BB"),
        hex("84 10 F1 30 01 06 00 BC"), hex("83 10 F1 30 01 01 B6"), hex("83 10 F1 30 01 00 B5"),
        hex("84 10 F1 30 05 06 FF BF"), hex("83 10 F1 30 05 01 BA"), hex("83 10 F1 30 05 00 B9"),
        hex("84 10 F1 30 41 07 20 1D"), hex("83 10 F1 30 41 01 F6"), hex("83 10 F1 30 41 00 F5"),
        hex("82 10 F1 11 01 95"),       hex("82 10 F1 11 90 24")};
    EXPECT_EQ(line.written(), expected);

    // One-shot requests and releases are cleared; the code list stays requested.
    EXPECT_EQ(record.readDtcRequest, 1);
    for (auto* flag :
         {&record.clearDtcRequest, &record.ecuResetRequest, &record.ecuInitRequest, &record.actuator[0].onRequest,
          &record.actuator[0].offRequest, &record.actuator[0].reportRequest, &record.actuator[0].releaseRequest,
          &record.actuator[4].reportRequest, &record.actuator[12].setRequest, &record.actuator[12].reportRequest})
        EXPECT_EQ(*flag, 0);

    line.forget();
    cycle();
    EXPECT_EQ(line.written(), std::vector<Bytes>{hex("84 10 F1 18 00 00 00 9D")});
}

TEST_F(DiagnosticServices, ActuatorsAndResetsWaitForTheActuatorWindow) {
    record.actuator[3].onRequest = 1;
    record.actuator[3].reportRequest = 1;
    record.ecuResetRequest = 1;
    record.ecuInitRequest = 1;
    cycle();
    EXPECT_TRUE(line.written().empty());
    EXPECT_EQ(record.actuator[3].onRequest, 1);
    EXPECT_EQ(record.ecuResetRequest, 1);

    record.actuatorWindowOpen = 1;
    cycle();
    EXPECT_EQ(line.written().size(), 4u);
}

// Only a checked answer reaches the record, whole: a refusal, a missing or a
// damaged answer never leaves rows the control unit did not send.
TEST_F(DiagnosticServices, TroubleCodeReadKeepsOnlyCheckedAnswers) {
    record.readDtcRequest = 1;
    const Bytes request = hex("84 10 F1 18 00 00 00 9D");
    const Bytes twoCodes = answerFrame(hex("58 02 01 02 E8 03 00 20"));
    const Bytes damaged = [&] {
        Bytes b = twoCodes;
        b[6] ^= 0x10;
        return b;
    }();
    const struct Step {
        const char* what;
        Bytes reply;
        TroubleCodeAnswer state;
        int rows;  // byte 12 of dtcResponse
    } steps[] = {
        {"two codes", twoCodes, TroubleCodeAnswer::Read, 2},
        {"one damaged read keeps the list", damaged, TroubleCodeAnswer::Read, 2},
        {"a second one too", damaged, TroubleCodeAnswer::Read, 2},
        {"the third withdraws it", damaged, TroubleCodeAnswer::Damaged, 0},
        {"two codes again", twoCodes, TroubleCodeAnswer::Read, 2},
        {"refused", hex("83 F1 10 7F 18 22 3D"), TroubleCodeAnswer::Refused, 0},
        {"two codes once more", twoCodes, TroubleCodeAnswer::Read, 2},
        {"a count of 24 with two codes", answerFrame(hex("58 18 01 02 E8 03 00 20")), TroubleCodeAnswer::Read, 2},
        {"no answer", {}, TroubleCodeAnswer::NoAnswer, 0},
        {"a short answer", Bytes(twoCodes.begin(), twoCodes.begin() + 5), TroubleCodeAnswer::Damaged, 0},
    };
    for (int i = 0; i < 1024; ++i) record.dtcResponse[i] = 0xAA;
    for (const Step& step : steps) {
        ScriptedLine stepLine;
        if (step.reply.empty())
            stepLine.silence(request);
        else
            stepLine.answer(request, step.reply);
        serveDiagnosticRequests(stepLine, table, record);
        std::lock_guard<std::mutex> guard(record.lock);
        EXPECT_EQ(static_cast<int>(record.dtcAnswer), static_cast<int>(step.state)) << step.what;
        EXPECT_EQ(record.dtcResponse[12], step.rows) << step.what;
        if (step.state == TroubleCodeAnswer::Refused) {
            EXPECT_EQ(record.dtcRefusalCode, 0x22);
        }
        if (step.state == TroubleCodeAnswer::Read) {
            Bytes stored(record.dtcResponse, record.dtcResponse + request.size() + twoCodes.size());
            EXPECT_EQ(Bytes(stored.begin() + 8, stored.end()), twoCodes) << step.what;
            EXPECT_EQ(record.dtcResponse[request.size() + twoCodes.size()], 0) << "nothing of an older answer";
        } else {
            EXPECT_TRUE(std::all_of(record.dtcResponse, record.dtcResponse + kDtcResponseSize, [](std::uint8_t b) {
                return b == 0;
            })) << step.what;
        }
    }
}

// The state texts of injectors and relays follow the state byte of each
// checked report; a refusal or no answer shows as such.
TEST_F(DiagnosticServices, SwitchableStateFollowsEveryReport) {
    record.actuatorWindowOpen = 1;
    record.actuator[9].reportRequest = 1;
    const Bytes report = hex("83 10 F1 30 0B 01 C0");
    struct Step {
        Bytes reply;
        const char* text;
    };
    const Step steps[] = {
        {answerFrame(hex("70 0B 01 FF")), "ВКЛ"},
        {answerFrame(hex("70 0B 01 00")), "ВЫКЛ"},
        {answerFrame(hex("70 0B 01 FF")), "ВКЛ"},
        {answerFrame(hex("70 0B 01 01")), "ВЫКЛ"},
        {answerFrame(hex("70 0B 01 FF")), "ВКЛ"},
        // Not a checked positive answer: never the state the buffer still holds.
        {answerFrame(hex("7F 30 31")), "Отказ ЭБУ"},
        {answerFrame(hex("70 0B 01 FF")), "ВКЛ"},
        {{}, "Нет ответа"},
        {answerFrame(hex("70 0B 01 FF")), "ВКЛ"},
        {[] {
             Bytes b = answerFrame(hex("70 0B 01 FF"));
             b.back() ^= 1;
             return b;
         }(),
         "Нет ответа"},
        {answerFrame(hex("70 0C 01 FF")), "Нет ответа"},  // another output's answer
    };
    for (const Step& s : steps) line.answer(report, s.reply);
    for (const Step& s : steps) {
        cycle();
        EXPECT_EQ(stateOf(record, 9), s.text);
    }
}

// An idle-control set value is shown once a checked answer confirmed that
// very value; a refusal or no answer shows as such and keeps the last one.
TEST_F(DiagnosticServices, SetValueIsShownOnlyAsTheControlUnitConfirmedIt) {
    record.actuatorWindowOpen = 1;
    storeSetValueFrameHeads(record);
    {
        const RecordWriteLock held(record);
        completeSetValueFrame(held, 12, 0x20);
        record.actuator[12].shownValue = 0x1F;
    }
    const Bytes set = hex("84 10 F1 30 41 07 20 1D");
    struct Step {
        Bytes reply;
        const char* text;
        std::int32_t shown;
    };
    const Step steps[] = {
        {answerFrame(hex("7F 30 31")), "Отказ ЭБУ", 0x1F},     {{}, "Нет ответа", 0x1F},
        {answerFrame(hex("70 41 07 21")), "Нет ответа", 0x1F},  // another value than asked
        {answerFrame(hex("70 42 07 20")), "Нет ответа", 0x1F},  // another output's answer
        {answerFrame(hex("70 41 07 20")), "", 0x20},
    };
    for (const Step& s : steps) line.answer(set, s.reply);
    for (const Step& s : steps) {
        record.actuator[12].setRequest = 1;
        cycle();
        EXPECT_EQ(stateOf(record, 12), s.text);
        EXPECT_EQ(record.actuator[12].shownValue, s.shown) << s.text;
    }
}

// Ignition outputs and the fuel pump: the refusal while the engine runs stays
// on show until a report says off or on; another refusal or no answer shows
// as such, a state byte that is neither leaves the text.
TEST_F(DiagnosticServices, IgnitionStateKeepsTheRefusalUntilAClearAnswer) {
    record.actuatorWindowOpen = 1;
    record.actuator[4].reportRequest = 1;
    const Bytes report = hex("83 10 F1 30 05 01 BA");
    struct Step {
        Bytes reply;
        const char* text;
    };
    const Step steps[] = {
        {answerFrame(hex("7F 30 22")), "Заглушите двигатель"},
        {answerFrame(hex("7F 30 12")), "Отказ ЭБУ"},
        {answerFrame(hex("70 05 01 33")), "Отказ ЭБУ"},
        {{}, "Нет ответа"},
        {answerFrame(hex("70 05 01 00")), "ВЫКЛ"},
        {answerFrame(hex("70 05 01 44")), "ВЫКЛ"},
        {answerFrame(hex("7F 30 22")), "Заглушите двигатель"},
        {answerFrame(hex("70 05 01 FF")), "ВКЛ"},
    };
    for (const Step& s : steps) line.answer(report, s.reply);
    for (const Step& s : steps) {
        cycle();
        EXPECT_EQ(stateOf(record, 4), s.text);
    }
}

// Only a checked positive on answer says "ВКЛ"; an unanswered one finds the
// previous answer's bytes in the buffer and must not read them.
TEST_F(DiagnosticServices, OnAnswerOfTheFuelPumpSetsOnlyOn) {
    record.actuatorWindowOpen = 1;
    const Bytes on = hex("84 10 F1 30 09 06 FF C3");
    struct Step {
        Bytes reply;
        const char* text;
    };
    const Step steps[] = {{answerFrame(hex("7F 30 22")), ""},
                          {answerFrame(hex("70 09 06 FF")), "ВКЛ"},
                          {{}, ""},
                          {answerFrame(hex("70 09 06 00")), ""}};
    for (const Step& s : steps) line.answer(on, s.reply);
    for (const Step& s : steps) {
        setStateText(6, "");
        record.actuator[6].onRequest = 1;
        cycle();
        EXPECT_EQ(stateOf(record, 6), s.text);
        EXPECT_EQ(record.actuator[6].onRequest, 0);
    }
}

TEST_F(DiagnosticServices, StateTextSurvivesTheRelease) {
    record.actuatorWindowOpen = 1;
    line.answer(hex("83 10 F1 30 01 01 B6"), answerFrame(hex("70 01 01 FF")));
    line.answer(hex("83 10 F1 30 01 00 B5"), answerFrame(hex("70 01 00")));
    record.actuator[0].reportRequest = 1;
    cycle();
    record.actuator[0].releaseRequest = 1;
    cycle();
    cycle();
    EXPECT_EQ(stateOf(record, 0), "ВКЛ");
    EXPECT_EQ(line.written().size(), 3u);
}

TEST_F(DiagnosticServices, SetValueFrameGoesOutAsTheWindowCompletedIt) {
    record.actuatorWindowOpen = 1;
    storeSetValueFrameHeads(record);
    struct Case {
        int entry;
        int value;
        Bytes frame;
    };
    const Case cases[] = {{12, 0, hex("84 10 F1 30 41 07 00 FD")},
                          {12, 255, hex("84 10 F1 30 41 07 FF FC")},
                          {13, 80, hex("84 10 F1 30 42 07 50 4E")},
                          {14, 100, hex("84 10 F1 30 43 07 64 63")}};
    for (const Case& c : cases) {
        line.forget();
        completeSetValueFrame(RecordWriteLock(record), c.entry, c.value);
        record.actuator[c.entry].setRequest = 1;
        cycle();
        EXPECT_EQ(line.written(), std::vector<Bytes>{c.frame}) << c.entry << " " << c.value;
        EXPECT_EQ(record.actuator[c.entry].setRequest, 0);
    }
}

TEST_F(DiagnosticServices, ExitReleasesEveryEntryUnderTest) {
    EXPECT_FALSE(requestReleaseOfActuatorsUnderTest(record));
    record.actuator[6].reportRequest = 1;
    record.actuator[2].onRequest = 1;  // forced without being reported
    EXPECT_TRUE(requestReleaseOfActuatorsUnderTest(record));
    for (int e = 0; e < kActuatorEntries; ++e)
        EXPECT_EQ(record.actuator[e].releaseRequest, (e == 6 || e == 2) ? 1 : 0) << e;
    line.answer(hex("83 10 F1 30 03 00 B7"), answerFrame(hex("70 03 00")));
    line.answer(hex("83 10 F1 30 09 00 BD"), answerFrame(hex("70 09 00")));

    record.actuatorWindowOpen = 1;
    cycle();
    EXPECT_FALSE(actuatorReleasePending(record));
    const std::vector<Bytes> expected = {hex("84 10 F1 30 03 06 FF BD"), hex("83 10 F1 30 03 00 B7"),
                                         hex("83 10 F1 30 09 01 BE"), hex("83 10 F1 30 09 00 BD")};
    EXPECT_EQ(line.written(), expected);
}

// A release is done only when the control unit confirms it (70 id 00):
// until then it goes out again in every cycle, the output counts as driven
// and its release stays ready for a crash.
TEST_F(DiagnosticServices, AReleaseCountsOnlyWhenConfirmed) {
    record.actuatorWindowOpen = 1;
    const Bytes on = hex("84 10 F1 30 0A 06 FF C4");
    const Bytes release = hex("83 10 F1 30 0A 00 BE");
    struct Case {
        const char* name;
        Bytes reply;
        bool confirmed;
    };
    const Case cases[] = {
        {"refused", answerFrame(hex("7F 30 31")), false},
        {"silent", {}, false},
        {"bad checksum",
         [] {
             Bytes b = answerFrame(hex("70 0A 00"));
             b.back() ^= 1;
             return b;
         }(),
         false},
        {"a report's answer", answerFrame(hex("70 0A 01 00")), false},
        {"another output", answerFrame(hex("70 0B 00")), false},
        {"confirmed", answerFrame(hex("70 0A 00")), true},
    };
    for (const Case& c : cases) {
        ScriptedLine caseLine;  // a script of its own
        auto cycle = [&] { serveDiagnosticRequests(caseLine, table, record); };
        caseLine.answer(on, answerFrame(hex("70 0A 06 FF")));
        caseLine.answer(release, c.reply);
        caseLine.answer(release, answerFrame(hex("70 0A 00")));
        record.actuator[7].onRequest = 1;
        record.actuator[7].releaseRequest = 1;
        cycle();
        EXPECT_EQ(record.actuator[7].releaseRequest, c.confirmed ? 0 : 1) << c.name;
        EXPECT_EQ(record.actuator[7].driven, c.confirmed ? 0 : 1) << c.name;
        EXPECT_EQ(crashReleaseArmed(7), !c.confirmed) << c.name;
        cycle();  // tried again until the confirmation comes
        EXPECT_EQ(caseLine.written().size(), c.confirmed ? 2u : 3u) << c.name;
        EXPECT_EQ(record.actuator[7].releaseRequest, 0) << c.name;
        EXPECT_EQ(record.actuator[7].driven, 0) << c.name;
        EXPECT_FALSE(crashReleaseArmed(7)) << c.name;
    }
}

// The list shows no codes only after the control unit confirmed the clear
// (54); the clear goes out once whatever the answer.
TEST_F(DiagnosticServices, TheCodesGoOnlyWhenTheClearIsConfirmed) {
    const Bytes clear = hex("83 10 F1 14 00 00 98");
    struct Case {
        const char* name;
        Bytes reply;
        bool emptied;
    };
    const Case cases[] = {{"refused", answerFrame(hex("7F 14 22")), false},
                          {"silent", {}, false},
                          {"confirmed", answerFrame(hex("54 00 00")), true}};
    for (const Case& c : cases) {
        ScriptedLine caseLine;  // a script of its own
        auto cycle = [&] { serveDiagnosticRequests(caseLine, table, record); };
        caseLine.answer(clear, c.reply);
        record.dtcResponse[12] = 2;
        record.clearDtcRequest = 1;
        cycle();
        EXPECT_EQ(record.dtcResponse[12], c.emptied ? 0 : 2) << c.name;
        EXPECT_EQ(record.clearDtcRequest, 0) << c.name;
        cycle();
        EXPECT_EQ(caseLine.written().size(), 1u) << c.name;
    }
}

// An adapter that echoes every byte twice, with a frame of unit 0x17 after
// every answer.
class CrowdedLine : public ScriptedLine {
public:
    std::uint32_t exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                           std::uint32_t capacity) override {
        std::uint8_t plain[kDtcResponseSize];
        const std::uint32_t n = ScriptedLine::exchange(request, length, plain, sizeof plain);
        Bytes read;
        for (std::uint32_t i = 0; i < n; ++i) read.insert(read.end(), i < length ? 2 : 1, plain[i]);
        if (n > length) read.insert(read.end(), {0x81, 0xF1, 0x17, 0x7E, 0x07});
        const auto m = static_cast<std::uint32_t>(std::min<std::size_t>(read.size(), capacity));
        std::copy_n(read.begin(), m, answer);
        return m;
    }
};

// Commands are answered as on a quiet line: the on answer of the fuel pump
// and the confirmation of a clear are found after a doubled echo.
TEST_F(DiagnosticServices, CommandAnswersAreFoundAmongWhatElseTheLineCarries) {
    CrowdedLine crowded;
    crowded.answer(hex("84 10 F1 30 09 06 FF C3"), answerFrame(hex("70 09 06 FF")));
    crowded.answer(hex("83 10 F1 14 00 00 98"), answerFrame(hex("54 00 00")));
    record.actuatorWindowOpen = 1;
    record.actuator[6].onRequest = 1;
    record.clearDtcRequest = 1;
    record.dtcResponse[12] = 2;
    serveDiagnosticRequests(crowded, table, record);
    EXPECT_EQ(stateOf(record, 6), "ВКЛ");
    EXPECT_EQ(record.dtcResponse[12], 0) << "the clear was confirmed";
}

}  // namespace
}  // namespace m797
