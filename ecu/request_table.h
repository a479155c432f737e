#pragma once
// The fixed KWP2000 requests (ISO 14230-2 framing: format 0x80 + n, target
// 0x10, source 0xF1, n data bytes, 8-bit sum), each with its own answer
// buffer. Answer positions count the adapter's echo of the request first.

#include <cstdint>

namespace m797 {

struct LiveRecord;
class RecordWriteLock;
class SerialLine;

constexpr int kAnswerBufferSize = 140;

struct Request {
    std::uint8_t frame[8] = {};
    std::uint8_t length = 0;                      // bytes written
    std::uint16_t capacity = 0;                   // bytes read, echo included
    std::uint8_t answer[kAnswerBufferSize] = {};  // latest answer, echo first
};

// Requests of one actuator list entry (service 0x30, local id `localId`).
struct ActuatorRequests {
    std::uint8_t localId = 0;
    bool hasOn = false;
    bool hasOff = false;
    Request report;   // 83 10 F1 30 id 01 cs
    Request release;  // 83 10 F1 30 id 00 cs
    Request on;       // 84 10 F1 30 id 06 FF cs
    Request off;      // 84 10 F1 30 id 06 00 cs
};

// Local ids of the actuator list entries 0..14, in list order.
extern const std::uint8_t kActuatorLocalIds[15];

// Entries 12..14 (idle-speed regulator, idle speed, canister purge) take set
// values; the others are switched.
constexpr int kFirstIdleControlEntry = 12;
// Whether list entry 0..14 has an on request (the switched ones) and an off
// request (not the ignition outputs 4, 5 and the fuel pump 6: release
// switches those off).
constexpr bool actuatorHasOn(int entry) { return entry >= 0 && entry < kFirstIdleControlEntry; }
constexpr bool actuatorHasOff(int entry) { return actuatorHasOn(entry) && (entry < 4 || entry > 6); }

struct RequestTable {
    RequestTable();

    Request startCommunication;
    Request stopCommunication;
    Request identA1;
    Request identA2;
    Request identA3;
    Request ecuIdentification;
    Request liveData03;
    Request liveData01;
    Request readDtc;  // its answer goes to LiveRecord::dtcResponse (1024 bytes)
    Request clearDtc;
    Request ecuReset;
    Request ecuInit;
    ActuatorRequests actuator[15];
};

// Writes the request and reads its answer into its own buffer (its capacity
// and room for an echo of every byte twice, at most the buffer's size). The
// control unit's answer, found among the echo and other units' frames, is put
// right after a single echo; returns the bytes that count then (echo and
// answer), or all bytes read where no answer was found.
std::uint32_t exchangeRequest(SerialLine& line, Request& request);

// Low 8 bits of the sum of `length` bytes.
std::uint8_t frameChecksum(const std::uint8_t* bytes, int length);

// Writes 84 10 F1 30 id 07 into the record's three set-value frames (entries
// 12..14); the actuator window completes the value and checksum bytes.
void storeSetValueFrameHeads(LiveRecord& record);

// Completes a set-value frame: byte 6 = value, byte 7 = value - 3/2/1 for
// entries 12/13/14 (the precomputed checksum of the frame). Under the lock:
// the thread copies the frame under it to send a whole one.
void completeSetValueFrame(const RecordWriteLock& held, int entry, std::int32_t value);

}  // namespace m797
