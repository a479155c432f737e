#pragma once
// The live-data record: the one place where the acquisition thread, the
// display clock and the windows meet. Plain data; `lock` serialises what both
// threads touch (decoded values and texts, the histories while a paint reads
// them, dtcResponse). Request flags are single-byte atomics with one setter and
// one clearer.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace m797 {

// 8-bit Windows-1251 text, replaced whole under the record's lock.
using Text = std::string;

constexpr int kHistoryLength = 1025;  // index 0 is a staging cell, 1..1024 are drawn
constexpr int kParameterCount = 79;
constexpr int kAnalogSlots = 38;
constexpr int kCounterSlots = 6;
constexpr int kFlagSlots = 20;
constexpr int kActuatorEntries = 15;  // list entries 0..14 that drive an output
constexpr int kDtcResponseSize = 1024;

// What the latest trouble-code read brought. dtcResponse holds a checked
// answer (echo first, the answer right after it) only while this is Read;
// NotRead is the state before any read, with dtcResponse as it was left.
enum class TroubleCodeAnswer : std::uint8_t { NotRead, Read, NoAnswer, Refused, Damaged };

struct AnalogSlot {
    std::uint8_t raw[2] = {0, 0};  // response bytes, high byte first
    float partA = 0.0f;            // intermediate values of two-byte decodes
    float partB = 0.0f;
    float value = 0.0f;  // physical value
    float plot = 0.0f;   // chart units
    std::int32_t history[kHistoryLength] = {};
    std::int32_t age[kHistoryLength] = {};
    Text text;  // formatted value
};

struct CounterSlot {
    std::uint8_t raw[2] = {0, 0};
    float plot = 0.0f;
    std::int32_t history[kHistoryLength] = {};
    std::int32_t age[kHistoryLength] = {};
    std::int32_t count = 0;  // raw[0] * 256 + raw[1]
};

struct FlagSlot {
    std::uint8_t state = 0;  // 0 or 1
    std::int32_t plot = 0;   // 0 or 80
    std::int32_t history[kHistoryLength] = {};
    std::int32_t age[kHistoryLength] = {};
    Text text;  // the flag's mnemonic, fixed at construction
};

enum class SlotKind : std::uint8_t { None, Analog, Counter, Flag };

struct SlotRef {
    SlotKind kind = SlotKind::None;
    std::uint8_t index = 0;  // index into analog[], counter[] or flag[]
};

// Which slot parameter number p (1..79) owns; {None, 0} for the 15 without one
// and for numbers outside 1..79.
SlotRef slotOf(int parameterNumber);
// The parameter number that owns analog[i].
int analogParameter(int index);

struct StatusByte {
    std::uint8_t value = 0;
    Text bitText[8];  // "0" or "1" per bit
};

struct ActuatorEntry {
    std::atomic<std::uint8_t> reportRequest{0};
    std::atomic<std::uint8_t> releaseRequest{0};
    std::atomic<std::uint8_t> onRequest{0};   // switchable entries 0..11
    std::atomic<std::uint8_t> offRequest{0};  // entries 0..3 and 7..11
    std::atomic<std::uint8_t> setRequest{0};  // idle-control entries 12..14
    // Set by the thread when it has sent an on, off or set value, cleared when
    // it has sent the release: the control unit may hold the output forced.
    std::atomic<std::uint8_t> driven{0};
    Text stateText;  // "ВКЛ", "ВЫКЛ", "Заглушите двигатель", "Отказ ЭБУ", "Нет ответа"
    std::int32_t setValue = 0;             // idle-control entries: the value asked for
    std::int32_t shownValue = 0;           // and the one the control unit last confirmed (at first: measured)
    std::uint8_t setValueFrame[9] = {};    // 8-byte set-value request and a spare byte
    std::uint8_t setValueAnswer[40] = {};  // its answer buffer
};

struct LiveRecord {
    LiveRecord();
    LiveRecord(const LiveRecord&) = delete;
    LiveRecord& operator=(const LiveRecord&) = delete;

    mutable std::mutex lock;

    // A. Clock and hand-over flags
    std::uint32_t timerId = 0;
    std::uint32_t tickPeriodMs = 0;
    std::atomic<std::uint8_t> newSample{0};
    std::atomic<std::uint8_t> linkUp{0};

    // B. Texts
    Text identText[11];
    Text statusText;
    Text portText = "Com1";  // the status strip's short name of the port in use

    // C. Parameter slots, each array in parameter-number order
    AnalogSlot analog[kAnalogSlots];
    CounterSlot counter[kCounterSlots];
    FlagSlot flag[kFlagSlots];

    // D. Status bytes and small values
    StatusByte statusByte[4];
    std::uint8_t statusBits[8] = {};
    std::uint8_t extraByte[2] = {};
    Text extraText[2];
    std::uint8_t errorCount = 0;

    // E. Settings mirrors
    float gridColour[4] = {};
    float nameTextColour[4] = {};
    float valueTextColour[4] = {};
    float traceColour[4] = {};
    std::int32_t selectedParameters[5] = {};

    // F. Diagnostic requests and answers
    std::uint8_t dtcResponse[kDtcResponseSize] = {};
    TroubleCodeAnswer dtcAnswer = TroubleCodeAnswer::NotRead;  // under the lock, with dtcResponse
    std::uint8_t dtcRefusalCode = 0;                           // the response code when Refused
    std::uint8_t dtcDamagedRun = 0;                            // the thread's count of damaged reads in a row
    std::atomic<std::uint8_t> clearDtcRequest{0};
    std::atomic<std::uint8_t> readDtcRequest{0};
    std::atomic<std::uint8_t> actuatorWindowOpen{0};
    ActuatorEntry actuator[kActuatorEntries];
    std::atomic<std::uint8_t> ecuResetRequest{0};
    std::atomic<std::uint8_t> ecuInitRequest{0};
};

// Helpers over all 64 slots (the display clock and tests use them).
template <typename F>
void forEachSlotHistory(LiveRecord& r, F&& f) {
    for (auto& s : r.analog) f(s.history, s.age);
    for (auto& s : r.counter) f(s.history, s.age);
    for (auto& s : r.flag) f(s.history, s.age);
}

}  // namespace m797
