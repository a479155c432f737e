#include "ecu/pausable_line.h"

namespace m797 {
namespace {

// The control unit ends a session 5 s after the end of its last answer; a
// request is timed from its start, so a margin stays for its answer and a
// loaded machine.
constexpr auto kSessionMayHaveLapsed = std::chrono::seconds(4);

}  // namespace

PausableLine::PausableLine(SerialLine& inner, LineGate& gate) : inner_(inner), gate_(gate) {
    inner_.setInterruptFd(gate_.interruptFd());
}

void PausableLine::waitOpen() {
    if (!gate_.waitOpen()) throw LineStopped();
}

void PausableLine::holdSession() {
    sessionHeld_ = inner_.sessionsExpire();
    lastRequest_ = std::chrono::steady_clock::now();
}

void PausableLine::checkSession() {
    const auto now = std::chrono::steady_clock::now();
    if (sessionHeld_ && now - lastRequest_ >= kSessionMayHaveLapsed) {
        sessionHeld_ = false;
        throw SessionLapsed();
    }
    lastRequest_ = now;
}

bool PausableLine::openPort() {
    waitOpen();
    return inner_.openPort();
}

std::uint32_t PausableLine::exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                                     std::uint32_t capacity) {
    waitOpen();
    checkSession();
    return exchangeOpen(request, length, answer, capacity);
}

bool PausableLine::exchangeIfWanted(const std::function<bool()>& wanted, const std::uint8_t* request,
                                    std::uint32_t length, std::uint8_t* answer, std::uint32_t capacity,
                                    std::uint32_t& got) {
    waitOpen();
    // Withdrawn while the link was paused: it must not go out late.
    if (!wanted()) return false;
    checkSession();
    got = exchangeOpen(request, length, answer, capacity);
    return true;
}

std::uint32_t PausableLine::exchangeOpen(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                                         std::uint32_t capacity) {
    std::uint32_t got = inner_.exchange(request, length, answer, capacity);
    // Cut short by "Стоп" after the request went out: read on after "Старт".
    while (inner_.lastReadInterrupted() && got < capacity) {
        waitOpen();
        got = inner_.continueRead(answer, got, capacity);
    }
    return got;
}

void PausableLine::sendWakeUpPulse() {
    waitOpen();
    inner_.sendWakeUpPulse();
}

}  // namespace m797
