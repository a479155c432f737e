#include "ecu/request_table.h"

#include <algorithm>
#include <initializer_list>

#include "app/record/record_lock.h"
#include "ecu/line_reading.h"
#include "ecu/serial_line.h"

namespace m797 {

const std::uint8_t kActuatorLocalIds[15] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x09, 0x0A,
                                            0x0D, 0x0B, 0x0E, 0x0C, 0x41, 0x42, 0x43};

namespace {

Request fixed(std::initializer_list<std::uint8_t> bytes, std::uint16_t capacity) {
    Request r;
    for (std::uint8_t b : bytes) r.frame[r.length++] = b;
    r.capacity = capacity;
    return r;
}

// Service 0x30 frame for `id` with the given control bytes, checksum appended.
Request ioControl(std::uint8_t id, std::initializer_list<std::uint8_t> control) {
    Request r;
    const std::uint8_t head[] = {static_cast<std::uint8_t>(0x80 + 2 + control.size()), 0x10, 0xF1, 0x30, id};
    for (std::uint8_t b : head) r.frame[r.length++] = b;
    for (std::uint8_t b : control) r.frame[r.length++] = b;
    r.frame[r.length] = frameChecksum(r.frame, r.length);
    ++r.length;
    r.capacity = 40;
    return r;
}

}  // namespace

std::uint32_t exchangeRequest(SerialLine& line, Request& r) {
    // Room for an adapter that echoes every byte twice.
    const std::uint32_t capacity = std::min<std::uint32_t>(r.capacity + r.length, kAnswerBufferSize);
    const std::uint32_t n = std::min(line.exchange(r.frame, r.length, r.answer, capacity), capacity);
    return placeAnswer(r.frame, r.length, r.answer, n);
}

std::uint8_t frameChecksum(const std::uint8_t* bytes, int length) {
    unsigned sum = 0;
    for (int i = 0; i < length; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

RequestTable::RequestTable()
    : startCommunication(fixed({0x81, 0x10, 0xF1, 0x81, 0x03}, 14)),
      stopCommunication(fixed({0x81, 0x10, 0xF1, 0x82, 0x04}, 14)),
      identA1(fixed({0x82, 0x10, 0xF1, 0x21, 0xA1, 0x45}, 21)),
      identA2(fixed({0x82, 0x10, 0xF1, 0x21, 0xA2, 0x46}, 21)),
      identA3(fixed({0x82, 0x10, 0xF1, 0x21, 0xA3, 0x47}, 30)),
      ecuIdentification(fixed({0x82, 0x10, 0xF1, 0x1A, 0x80, 0x1D}, 130)),
      liveData03(fixed({0x82, 0x10, 0xF1, 0x21, 0x03, 0xA7}, 40)),
      liveData01(fixed({0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5}, 140)),
      readDtc(fixed({0x84, 0x10, 0xF1, 0x18, 0x00, 0x00, 0x00, 0x9D}, 1024)),
      clearDtc(fixed({0x83, 0x10, 0xF1, 0x14, 0x00, 0x00, 0x98}, 40)),
      ecuReset(fixed({0x82, 0x10, 0xF1, 0x11, 0x01, 0x95}, 40)),
      ecuInit(fixed({0x82, 0x10, 0xF1, 0x11, 0x90, 0x24}, 40)) {
    for (int e = 0; e < 15; ++e) {
        ActuatorRequests& a = actuator[e];
        a.localId = kActuatorLocalIds[e];
        a.hasOn = actuatorHasOn(e);
        a.hasOff = actuatorHasOff(e);
        a.report = ioControl(a.localId, {0x01});
        a.release = ioControl(a.localId, {0x00});
        if (a.hasOn) a.on = ioControl(a.localId, {0x06, 0xFF});
        if (a.hasOff) a.off = ioControl(a.localId, {0x06, 0x00});
    }
}

void storeSetValueFrameHeads(LiveRecord& record) {
    for (int e = 12; e < 15; ++e) {
        const std::uint8_t head[] = {0x84, 0x10, 0xF1, 0x30, kActuatorLocalIds[e], 0x07};
        for (int i = 0; i < 6; ++i) record.actuator[e].setValueFrame[i] = head[i];
    }
}

void completeSetValueFrame(const RecordWriteLock& held, int entry, std::int32_t value) {
    const int checksumOffset = 15 - entry;  // 3, 2, 1 for entries 12, 13, 14
    auto& frame = held.record().actuator[entry].setValueFrame;
    frame[6] = static_cast<std::uint8_t>(value & 0xFF);
    frame[7] = static_cast<std::uint8_t>((frame[6] - checksumOffset) & 0xFF);
}

}  // namespace m797
