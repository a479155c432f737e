#include "ecu/diagnostic_services.h"

#include <algorithm>
#include <cstring>

#include "app/record/cp1251.h"
#include "app/record/record_lock.h"
#include "ecu/actuator_session.h"
#include "ecu/answer_check.h"
#include "ecu/crash_release.h"
#include "ecu/line_reading.h"
#include "ecu/request_table.h"
#include "ecu/serial_line.h"

namespace m797 {
namespace {

// Answer positions (echo first): the state byte of a report answer (7-byte
// request) and of an on answer (8-byte request).
constexpr int kReportState = 13;
constexpr int kOnState = 14;
constexpr std::uint8_t kConditionsNotCorrect = 0x22;

// What a positive answer must repeat and hold: 70 id 00 for a release,
// 70 id 01 state for a report, 70 id 06 state for an on, 54 for a clear.
constexpr AnswerRule kReleaseRule{2, 12};
constexpr AnswerRule kReportRule{2, kReportState};
constexpr AnswerRule kOnRule{2, kOnState};
constexpr AnswerRule kClearRule{0, 0};

struct StateTexts {
    Text on = toCp1251("ВКЛ");
    Text off = toCp1251("ВЫКЛ");
    Text stopEngine = toCp1251("Заглушите двигатель");
    Text refused = toCp1251("Отказ ЭБУ");
    Text noAnswer = toCp1251("Нет ответа");
};

const StateTexts& stateTexts() {
    static const StateTexts texts;
    return texts;
}

void setStateText(LiveRecord& record, ActuatorEntry& entry, const Text& text) {
    const RecordWriteLock held(record);
    entry.stateText = text;
}

// A report that did not pass its checks says so: the control unit refused
// (a negative answer), or nothing believable came.
const Text& unreadStateText(const AnswerVerdict& verdict) {
    return verdict.fault == AnswerFault::Negative ? stateTexts().refused : stateTexts().noAnswer;
}

// A command the actuator window may withdraw (it closed while the link was
// paused): asked once more right before it is written. Returns whether it
// went out.
bool serveCommand(SerialLine& line, const std::uint8_t* frame, std::uint32_t length, std::uint8_t* answer,
                  std::uint32_t capacity, std::atomic<std::uint8_t>& flag, std::uint32_t* got = nullptr) {
    if (flag.load() != 1) return false;
    std::uint32_t n = 0;
    const bool sent = line.exchangeIfWanted([&flag] { return flag.load() == 1; }, frame, length, answer, capacity,
                                            n);
    flag.store(0);
    // The answer found among other units' frames and a doubled echo, after the echo.
    if (got) *got = placeAnswer(frame, static_cast<int>(length), answer, std::min(n, capacity));
    return sent;
}

bool serveCommand(SerialLine& line, Request& request, std::atomic<std::uint8_t>& flag, std::uint32_t* got) {
    const std::uint32_t capacity = std::min<std::uint32_t>(request.capacity, kAnswerBufferSize);
    return serveCommand(line, request.frame, request.length, request.answer, capacity, flag, got);
}

// Switching an output on or off or setting its value. The output may be
// forced from the moment the command leaves, so its release is kept ready for
// a crash of the program before it is written (and forgotten again where
// the command was withdrawn and the output was not driven before).
template <typename Send>
bool drive(ActuatorRequests& requests, ActuatorEntry& entry, int index, Send send) {
    armCrashRelease(index, requests.release.frame, requests.release.length);
    if (!send()) {
        if (entry.driven.load() != 1) disarmCrashRelease(index);
        return false;
    }
    entry.driven = 1;
    return true;
}

bool serveDrive(SerialLine& line, ActuatorRequests& requests, Request& request, std::atomic<std::uint8_t>& flag,
                ActuatorEntry& entry, int index, std::uint32_t* got = nullptr) {
    if (flag.load() != 1) return false;
    return drive(requests, entry, index, [&] { return serveCommand(line, request, flag, got); });
}

// A release is done only when the control unit confirms it (70 id 00); a
// refused or unanswered one stays pending and goes out again in the next
// cycle, on the next connection and at the program's end.
void serveRelease(SerialLine& line, ActuatorRequests& requests, ActuatorEntry& entry, int index) {
    if (entry.releaseRequest.load() != 1) return;
    const std::uint32_t n = exchangeRequest(line, requests.release);
    if (!checkAnswer(requests.release, n, kReleaseRule).ok()) return;
    disarmCrashRelease(index);
    entry.driven.store(0);
    entry.releaseRequest.store(0);
    entry.reportRequest.store(0);
}

// Injectors, fan and air-conditioning relays, starter relay, fault lamp.
void serveSwitchable(SerialLine& line, ActuatorRequests& requests, ActuatorEntry& entry, LiveRecord& record,
                     int index) {
    serveDrive(line, requests, requests.on, entry.onRequest, entry, index);
    serveDrive(line, requests, requests.off, entry.offRequest, entry, index);
    if (entry.reportRequest.load() == 1) {
        const std::uint32_t n = exchangeRequest(line, requests.report);
        const AnswerVerdict verdict = checkAnswer(requests.report, n, kReportRule);
        const bool on = requests.report.answer[kReportState] == 0xFF;
        setStateText(record, entry,
                     !verdict.ok() ? unreadStateText(verdict)
                     : on          ? stateTexts().on
                                   : stateTexts().off);
    }
    serveRelease(line, requests, entry, index);
}

// The state a report of an ignition output or the fuel pump gives, or none
// where its state byte is neither off nor on. The control unit refuses them
// while the engine runs.
const Text* onOnlyReportText(const Request& report, std::uint32_t received) {
    const AnswerVerdict verdict = checkAnswer(report, received, kReportRule);
    if (verdict.fault == AnswerFault::Negative && verdict.negativeCode == kConditionsNotCorrect)
        return &stateTexts().stopEngine;
    if (!verdict.ok()) return &unreadStateText(verdict);
    if (report.answer[kReportState] == 0x00) return &stateTexts().off;
    if (report.answer[kReportState] == 0xFF) return &stateTexts().on;
    return nullptr;
}

// Ignition outputs and the fuel-pump relay: no off request.
void serveOnOnly(SerialLine& line, ActuatorRequests& requests, ActuatorEntry& entry, LiveRecord& record,
                 int index) {
    std::uint32_t got = 0;
    if (serveDrive(line, requests, requests.on, entry.onRequest, entry, index, &got) &&
        checkAnswer(requests.on, got, kOnRule).ok() && requests.on.answer[kOnState] == 0xFF)
        setStateText(record, entry, stateTexts().on);
    if (entry.reportRequest.load() == 1) {
        const std::uint32_t n = exchangeRequest(line, requests.report);
        if (const Text* text = onOnlyReportText(requests.report, n)) setStateText(record, entry, *text);
    }
    serveRelease(line, requests, entry, index);
}

// A set value is shown once the control unit has confirmed it (70 id 07
// value); a refusal or no answer shows as such, never the value asked for.
void showSetValueAnswer(const std::uint8_t (&frame)[8], const std::uint8_t* answer, std::uint32_t received,
                        ActuatorEntry& entry) {
    Request sent;
    std::memcpy(sent.frame, frame, sizeof frame);
    sent.length = sizeof frame;
    sent.capacity = static_cast<std::uint16_t>(std::min<std::uint32_t>(received, kAnswerBufferSize));
    std::memcpy(sent.answer, answer, sent.capacity);
    AnswerVerdict verdict = checkAnswer(sent, received, kOnRule);
    if (verdict.ok() && sent.answer[kOnState] != frame[6]) verdict.fault = AnswerFault::Unexpected;
    if (!verdict.ok()) {
        entry.stateText = unreadStateText(verdict);
        return;
    }
    entry.stateText.clear();
    entry.shownValue = frame[6];
}

// Idle-speed regulator, idle speed, canister-purge valve: set values.
void serveSetValue(SerialLine& line, ActuatorRequests& requests, ActuatorEntry& entry, LiveRecord& record,
                   int index) {
    if (entry.setRequest.load() == 1) {
        std::uint8_t frame[8];
        {
            // The window completes the frame under the lock; send a whole one.
            const RecordWriteLock held(record);
            std::memcpy(frame, entry.setValueFrame, sizeof frame);
        }
        std::uint8_t answer[sizeof entry.setValueAnswer];
        std::uint32_t n = 0;
        const auto send = [&] {
            return serveCommand(line, frame, sizeof frame, answer, sizeof answer, entry.setRequest, &n);
        };
        if (drive(requests, entry, index, send)) {
            const RecordWriteLock held(record);
            std::memcpy(entry.setValueAnswer, answer, n);
            showSetValueAnswer(frame, answer, n, entry);
        }
    }
    if (entry.reportRequest.load() == 1) exchangeRequest(line, requests.report);
    serveRelease(line, requests, entry, index);
}

void serveActuator(SerialLine& line, ActuatorRequests& requests, ActuatorEntry& entry, LiveRecord& record,
                   int index) {
    if (!requests.hasOn)
        serveSetValue(line, requests, entry, record, index);
    else if (!requests.hasOff)
        serveOnOnly(line, requests, entry, record, index);
    else
        serveSwitchable(line, requests, entry, record, index);
}

// The clear may be withdrawn (the error list closed before it went out). The
// list shows no codes only once the control unit has confirmed the clear
// (54); the next read shows what it then holds.
void serveClear(SerialLine& line, RequestTable& table, LiveRecord& record) {
    std::uint32_t n = 0;
    if (!serveCommand(line, table.clearDtc, record.clearDtcRequest, &n)) return;
    if (!checkAnswer(table.clearDtc, n, kClearRule).ok()) return;
    const RecordWriteLock held(record);
    std::memset(record.dtcResponse, 0, sizeof record.dtcResponse);
}

// A damaged read now and then leaves the last checked list on show, as live
// data keeps its last good values; this many in a row withdraw it.
constexpr int kDamagedReadsWithdraw = 3;

void storeTroubleCodes(const RecordWriteLock& held, const std::uint8_t* answer, std::uint32_t n) {
    LiveRecord& record = held.record();
    std::memset(record.dtcResponse, 0, sizeof record.dtcResponse);
    std::memcpy(record.dtcResponse, answer, std::min<std::uint32_t>(n, kDtcResponseSize));
    record.dtcAnswer = TroubleCodeAnswer::Read;
    record.dtcDamagedRun = 0;
}

// Nothing of an answer that failed its check stays on show: no rows the
// control unit did not send.
void withdrawTroubleCodes(const RecordWriteLock& held, TroubleCodeAnswer why, std::uint8_t code = 0) {
    LiveRecord& record = held.record();
    std::memset(record.dtcResponse, 0, sizeof record.dtcResponse);
    record.dtcAnswer = why;
    record.dtcRefusalCode = code;
}

void damagedTroubleCodes(const RecordWriteLock& held) {
    LiveRecord& record = held.record();
    const bool listOnShow = record.dtcAnswer == TroubleCodeAnswer::Read;
    if (++record.dtcDamagedRun >= kDamagedReadsWithdraw || !listOnShow)
        withdrawTroubleCodes(held, TroubleCodeAnswer::Damaged);
}

// The answer is read into a buffer of its own, found among the echo and other
// units' frames, and checked whole before any of it reaches the record.
void readTroubleCodes(SerialLine& line, RequestTable& table, LiveRecord& record) {
    std::uint8_t answer[kDtcResponseSize];
    const Request& request = table.readDtc;
    std::uint32_t n = std::min<std::uint32_t>(
        line.exchange(request.frame, request.length, answer, kDtcResponseSize), kDtcResponseSize);
    n = placeAnswer(request.frame, request.length, answer, n);
    const AnswerVerdict verdict = checkTroubleCodeAnswer(request, answer, n);
    const RecordWriteLock held(record);
    switch (verdict.fault) {
    case AnswerFault::None: storeTroubleCodes(held, answer, n); break;
    case AnswerFault::NoAnswer: withdrawTroubleCodes(held, TroubleCodeAnswer::NoAnswer); break;
    case AnswerFault::Negative:
        withdrawTroubleCodes(held, TroubleCodeAnswer::Refused, verdict.negativeCode);
        break;
    default: damagedTroubleCodes(held); break;
    }
}

}  // namespace

void serveDiagnosticRequests(SerialLine& line, RequestTable& table, LiveRecord& record) {
    if (record.readDtcRequest.load() == 1) readTroubleCodes(line, table, record);
    serveClear(line, table, record);
    if (record.actuatorWindowOpen.load() != 1) return;
    for (int e = 0; e < kActuatorEntries; ++e)
        serveActuator(line, table.actuator[e], record.actuator[e], record, e);
    serveCommand(line, table.ecuReset, record.ecuResetRequest, nullptr);
    serveCommand(line, table.ecuInit, record.ecuInitRequest, nullptr);
}

void forgetTroubleCodes(LiveRecord& record) {
    const RecordWriteLock held(record);
    if (record.dtcAnswer != TroubleCodeAnswer::NotRead) withdrawTroubleCodes(held, TroubleCodeAnswer::NoAnswer);
}

bool requestReleaseOfActuatorsUnderTest(LiveRecord& record) { return ActuatorSession::requestExitRelease(record); }

bool actuatorReleasePending(const LiveRecord& record) { return ActuatorSession::releasePending(record); }

}  // namespace m797
