#include "ecu/diagnostic_services.h"

#include <algorithm>
#include <cstring>

#include "app/cp1251.h"
#include "app/live_record.h"
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
    std::lock_guard<std::mutex> guard(record.lock);
    entry.stateText = text;
}

// Serves a one-shot flag: sends `request` when the flag is 1, then clears it.
void serveOneShot(SerialLine& line, Request& request, std::atomic<std::uint8_t>& flag) {
    if (flag.load() != 1) return;
    exchangeRequest(line, request);
    flag.store(0);
}

void serveRelease(SerialLine& line, ActuatorRequests& requests, ActuatorEntry& entry) {
    if (entry.releaseRequest.load() != 1) return;
    exchangeRequest(line, requests.release);
    entry.releaseRequest.store(0);
    entry.reportRequest.store(0);
}

// Injectors, fan and air-conditioning relays, starter relay, fault lamp.
void serveSwitchable(SerialLine& line, ActuatorRequests& requests, ActuatorEntry& entry,
                     LiveRecord& record) {
    serveOneShot(line, requests.on, entry.onRequest);
    serveOneShot(line, requests.off, entry.offRequest);
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
    if (entry.onRequest.load() == 1) {
        exchangeRequest(line, requests.on);
        entry.onRequest.store(0);
        if (requests.on.answer[kOnState] == 0xFF) setStateText(record, entry, stateTexts().on);
    }
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
            std::lock_guard<std::mutex> guard(record.lock);
            std::memcpy(frame, entry.setValueFrame, sizeof frame);
        }
        std::uint8_t answer[sizeof entry.setValueAnswer];
        const std::uint32_t n = line.exchange(frame, sizeof frame, answer, sizeof answer);
        {
            std::lock_guard<std::mutex> guard(record.lock);
            std::memcpy(entry.setValueAnswer, answer, std::min<std::uint32_t>(n, sizeof answer));
        }
        entry.setRequest.store(0);
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
    std::lock_guard<std::mutex> guard(record.lock);
    std::memcpy(record.dtcResponse, answer, std::min<std::uint32_t>(n, kDtcResponseSize));
}

}  // namespace

void serveDiagnosticRequests(SerialLine& line, RequestTable& table, LiveRecord& record) {
    if (record.readDtcRequest.load() == 1) readTroubleCodes(line, table, record);
    serveOneShot(line, table.clearDtc, record.clearDtcRequest);
    if (record.actuatorWindowOpen.load() != 1) return;
    for (int e = 0; e < kActuatorEntries; ++e)
        serveActuator(line, table.actuator[e], record.actuator[e], record);
    serveOneShot(line, table.ecuReset, record.ecuResetRequest);
    serveOneShot(line, table.ecuInit, record.ecuInitRequest);
}

bool requestReleaseOfActuatorsUnderTest(LiveRecord& record) {
    for (ActuatorEntry& entry : record.actuator) {
        const bool underTest = entry.reportRequest.load() == 1 || entry.onRequest.load() == 1 ||
                               entry.offRequest.load() == 1 || entry.setRequest.load() == 1;
        if (underTest) entry.releaseRequest.store(1);
    }
    return actuatorReleasePending(record);
}

bool actuatorReleasePending(const LiveRecord& record) {
    return std::any_of(std::begin(record.actuator), std::end(record.actuator),
                       [](const ActuatorEntry& e) { return e.releaseRequest.load() == 1; });
}

}  // namespace m797
