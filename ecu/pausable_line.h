#pragma once
// The line every exchange of the acquisition thread passes through (the
// polling loop and the diagnostic services alike). It waits while the link is
// paused. An exchange cut short by a pause goes on reading once the link is
// resumed; its request is never written twice, so a one-shot command (a clear,
// a reset) reaches the control unit once. When the program ends it throws
// LineStopped, which unwinds the poll cycle in progress.
//
// A control unit ends its session when no request comes for 5 s (after a
// long "Стоп", for one). While a session is held, a request that would go
// out that long after the one before is not written: the line throws
// SessionLapsed and the loop connects again first.

#include <chrono>
#include <stdexcept>

#include "ecu/line_gate.h"
#include "ecu/serial_line.h"

namespace m797 {

struct LineStopped : std::runtime_error {
    LineStopped() : std::runtime_error("link stopped") {}
};

struct SessionLapsed : std::runtime_error {
    SessionLapsed() : std::runtime_error("the control unit may have ended the session") {}
};

class PausableLine : public SerialLine {
public:
    PausableLine(SerialLine& inner, LineGate& gate);

    bool openPort() override;
    std::uint32_t exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                           std::uint32_t capacity) override;
    bool exchangeIfWanted(const std::function<bool()>& wanted, const std::uint8_t* request, std::uint32_t length,
                          std::uint8_t* answer, std::uint32_t capacity, std::uint32_t& got) override;
    void sendWakeUpPulse() override;
    void closePort() override { inner_.closePort(); }
    int lastErrorNumber() const override { return inner_.lastErrorNumber(); }
    std::string lastErrorText() const override { return inner_.lastErrorText(); }

    // A connection was accepted: from now on a request that comes too late
    // for the session throws SessionLapsed. Connecting again drops it.
    void holdSession();
    void dropSession() { sessionHeld_ = false; }

private:
    void waitOpen();
    // Before a request is written: whether the session may have lapsed.
    void checkSession();
    // The exchange once the gate is open.
    std::uint32_t exchangeOpen(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                               std::uint32_t capacity);

    SerialLine& inner_;
    LineGate& gate_;
    bool sessionHeld_ = false;
    std::chrono::steady_clock::time_point lastRequest_{};
};

}  // namespace m797
