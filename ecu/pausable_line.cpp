#include "ecu/pausable_line.h"

namespace m797 {

PausableLine::PausableLine(SerialLine& inner, LineGate& gate) : inner_(inner), gate_(gate) {
    inner_.setInterruptFd(gate_.interruptFd());
}

void PausableLine::waitOpen() {
    if (!gate_.waitOpen()) throw LineStopped();
}

bool PausableLine::openPort() {
    waitOpen();
    return inner_.openPort();
}

std::uint32_t PausableLine::exchange(const std::uint8_t* request, std::uint32_t length,
                                     std::uint8_t* answer, std::uint32_t capacity) {
    for (;;) {
        waitOpen();
        const std::uint64_t before = gate_.interruptions();
        const std::uint32_t got = inner_.exchange(request, length, answer, capacity);
        if (gate_.interruptions() == before) return got;
        // Cut short by "Стоп": what arrived was discarded; ask again after "Старт".
    }
}

void PausableLine::sendWakeUpPulse() {
    waitOpen();
    inner_.sendWakeUpPulse();
}

}  // namespace m797
