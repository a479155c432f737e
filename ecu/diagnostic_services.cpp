#include "ecu/diagnostic_services.h"

#include <algorithm>
#include <cstring>

#include "app/record/cp1251.h"
#include "app/record/record_lock.h"
#include "ecu/actuator_session.h"
#include "ecu/request_table.h"
#include "ecu/serial_line.h"

namespace m797 {
namespace {

// Answer positions (echo first): the state byte of a report answer (7-byte
// request) and of an on answer (8-byte request), and the response code of a
// negative report answer 7F 30 code.
constexpr int kReportState = 13;
constexpr int kOnState = 14;
constexpr int kReportNegativeCode = 12;
constexpr std::uint8_t kConditionsNotCorrect = 0x22;

struct StateTexts {
    Text on = toCp1251("ВКЛ");
    Text off = toCp1251("ВЫКЛ");
    Text stopEngine = toCp1251("Заглушите двигатель");
};

const StateTexts& stateTexts() {
    static const StateTexts texts;
    return texts;
}

void setStateText(LiveRecord& record, ActuatorEntry& entry, const Text& text) {
    const RecordWriteLock held(record);
    entry.stateText = text;
}

// Serves a one-shot flag: sends `request` when the flag is 1, then clears it.
void serveOneShot(SerialLine& line, Request& request, std::atomic<std::uint8_t>& flag) {
    if (flag.load() != 1) return;
    exchangeRequest(line, request);
    flag.store(0);
}

// A command the actuator window may withdraw (it closed while the link was
// paused): asked once more right before it is written. Returns whether it
// went out.
bool serveCommand(SerialLine& line, const std::uint8_t* frame, std::uint32_t length,
                  std::uint8_t* answer, std::uint32_t capacity, std::atomic<std::uint8_t>& flag,
                  std::uint32_t* got = nullptr) {
    if (flag.load() != 1) return false;
    std::uint32_t n = 0;
    const bool sent = line.exchangeIfWanted([&flag] { return flag.load() == 1; }, frame, length, answer,
                                            capacity, n);
    flag.store(0);
    if (got) *got = std::min(n, capacity);
    return sent;
}

bool serveCommand(SerialLine& line, Request& request, std::atomic<std::uint8_t>& flag) {
    const std::uint32_t capacity = std::min<std::uint32_t>(request.capacity, kAnswerBufferSize);
    return serveCommand(line, request.frame, request.length, request.answer, capacity, flag);
}

// Switching an output on or off or setting its value.
bool serveDrive(SerialLine& line, Request& request, std::atomic<std::uint8_t>& flag, ActuatorEntry& entry) {
    if (!serveCommand(line, request, flag)) return false;
    entry.driven = 1;
    return true;
}

void serveRelease(SerialLine& line, ActuatorRequests& requests, ActuatorEntry& entry) {
    if (entry.releaseRequest.load() != 1) return;
    exchangeRequest(line, requests.release);
    entry.driven.store(0);
    entry.releaseRequest.store(0);
    entry.reportRequest.store(0);
}

// Injectors, fan and air-conditioning relays, starter relay, fault lamp.
void serveSwitchable(SerialLine& line, ActuatorRequests& requests, ActuatorEntry& entry,
                     LiveRecord& record) {
    serveDrive(line, requests.on, entry.onRequest, entry);
    serveDrive(line, requests.off, entry.offRequest, entry);
    if (entry.reportRequest.load() == 1) {
        exchangeRequest(line, requests.report);
        const bool on = requests.report.answer[kReportState] == 0xFF;
        setStateText(record, entry, on ? stateTexts().on : stateTexts().off);
    }
    serveRelease(line, requests, entry);
}

// Ignition outputs and the fuel-pump relay: no off request, and the control
// unit refuses them while the engine runs.
void serveOnOnly(SerialLine& line, ActuatorRequests& requests, ActuatorEntry& entry,
                 LiveRecord& record) {
    if (serveDrive(line, requests.on, entry.onRequest, entry) && requests.on.answer[kOnState] == 0xFF)
        setStateText(record, entry, stateTexts().on);
    if (entry.reportRequest.load() == 1) {
        exchangeRequest(line, requests.report);
        const std::uint8_t* a = requests.report.answer;
        const Text* text = nullptr;
        if (a[kReportNegativeCode] == kConditionsNotCorrect) text = &stateTexts().stopEngine;
        if (a[kReportState] == 0x00) text = &stateTexts().off;
        if (a[kReportState] == 0xFF) text = &stateTexts().on;
        if (text) setStateText(record, entry, *text);
    }
    serveRelease(line, requests, entry);
}

// Idle-speed regulator, idle speed, canister-purge valve: set values.
void serveSetValue(SerialLine& line, ActuatorRequests& requests, ActuatorEntry& entry,
                   LiveRecord& record) {
    if (entry.setRequest.load() == 1) {
        std::uint8_t frame[8];
        {
            // The window completes the frame under the lock; send a whole one.
            const RecordWriteLock held(record);
            std::memcpy(frame, entry.setValueFrame, sizeof frame);
        }
        std::uint8_t answer[sizeof entry.setValueAnswer];
        std::uint32_t n = 0;
        if (serveCommand(line, frame, sizeof frame, answer, sizeof answer, entry.setRequest, &n)) {
            entry.driven = 1;
            const RecordWriteLock held(record);
            std::memcpy(entry.setValueAnswer, answer, n);
        }
    }
    if (entry.reportRequest.load() == 1) exchangeRequest(line, requests.report);
    serveRelease(line, requests, entry);
}

void serveActuator(SerialLine& line, ActuatorRequests& requests, ActuatorEntry& entry,
                   LiveRecord& record) {
    if (!requests.hasOn)
        serveSetValue(line, requests, entry, record);
    else if (!requests.hasOff)
        serveOnOnly(line, requests, entry, record);
    else
        serveSwitchable(line, requests, entry, record);
}

// Reads into a buffer of its own and copies only the bytes received, so a
// short or missing answer leaves the rest of the last answer in place.
void readTroubleCodes(SerialLine& line, RequestTable& table, LiveRecord& record) {
    std::uint8_t answer[kDtcResponseSize];
    const std::uint32_t n = line.exchange(table.readDtc.frame, table.readDtc.length, answer,
                                          kDtcResponseSize);
    const RecordWriteLock held(record);
    std::memcpy(record.dtcResponse, answer, std::min<std::uint32_t>(n, kDtcResponseSize));
}

}  // namespace

void serveDiagnosticRequests(SerialLine& line, RequestTable& table, LiveRecord& record) {
    if (record.readDtcRequest.load() == 1) readTroubleCodes(line, table, record);
    serveOneShot(line, table.clearDtc, record.clearDtcRequest);
    if (record.actuatorWindowOpen.load() != 1) return;
    for (int e = 0; e < kActuatorEntries; ++e)
        serveActuator(line, table.actuator[e], record.actuator[e], record);
    serveCommand(line, table.ecuReset, record.ecuResetRequest);
    serveCommand(line, table.ecuInit, record.ecuInitRequest);
}

bool requestReleaseOfActuatorsUnderTest(LiveRecord& record) { return ActuatorSession::requestExitRelease(record); }

bool actuatorReleasePending(const LiveRecord& record) { return ActuatorSession::releasePending(record); }

}  // namespace m797
