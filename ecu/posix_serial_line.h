#pragma once
// The K-line adapter on a POSIX serial device (/dev/ttyS0, /dev/ttyUSB0, or a
// pseudo-terminal of the simulator): raw 8N1 at 10400 baud, reads bounded by
// the inter-byte and total time-outs, input discarded after every exchange.

#include <cstdint>
#include <string>

#include "ecu/line_speed.h"
#include "ecu/serial_line.h"

namespace m797 {

// Read time-outs of every exchange (all 50 ms on the car; tests shorten them).
struct LineTimeouts {
    int readIntervalMs = 50;         // silence after a byte that ends a read
    int readTotalMultiplierMs = 50;  // per byte asked for
    int readTotalConstantMs = 50;
    int wakeUpPauseMs = 50;  // from the start of the wake-up byte to the switch back
};

class PosixSerialLine : public SerialLine {
public:
    explicit PosixSerialLine(std::string device, LineTimeouts timeouts = {});
    ~PosixSerialLine() override;

    bool openPort() override;
    std::uint32_t exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                           std::uint32_t capacity) override;
    std::uint32_t continueRead(std::uint8_t* answer, std::uint32_t got, std::uint32_t capacity) override;
    bool lastReadInterrupted() const override { return interrupted_; }
    void sendWakeUpPulse() override;
    void closePort() override;
    void setInterruptFd(int fd) override { interruptFd_ = fd; }
    int lastErrorNumber() const override { return lastErrno_; }
    std::string lastErrorText() const override { return lastError_; }

    bool isOpen() const { return portHandle >= 0; }
    // On a pseudo-terminal (the simulator), how long a wake-up waits beyond
    // its pause for the echo of its byte: a pty carries no line rate with its
    // bytes and the peer reads the rate only when it takes the byte, so the
    // rate goes back to 10400 once the byte has come back. Where the last
    // exchange brought no echo either (no adapter), the wait is shorter, as
    // it then always runs to its end. A real line keeps its pause exactly
    // (the control unit expects StartCommunication right after it).
    static constexpr int kWakeUpEchoGraceMs = 300;
    static constexpr int kWakeUpSilentGraceMs = 100;
    // Whether the last wake-up had to use a break because 360 baud was refused.
    bool lastWakeUpUsedBreak() const { return wakeUpUsedBreak_; }

    // The link settings of the line.
    const std::string portName;
    int portHandle = -1;
    const unsigned lineBaudRate = 10400;
    const std::uint8_t lineParity = 0;    // none
    const std::uint8_t lineStopBits = 0;  // one
    const std::uint8_t wakeUpByte = 0x00;
    const unsigned wakeUpBaudRate = 360;
    const LineTimeouts lineTimeouts;

private:
    bool fail(const char* what);
    bool failInUse(const char* what);  // names the holder where it can be found
    bool takeAlone();
    bool waitForWakeUpEcho(long long deadlineNs);
    void writeAll(const std::uint8_t* bytes, std::uint32_t length);
    std::uint32_t readAnswer(std::uint8_t* answer, std::uint32_t capacity);
    void discardInput();
    void awaitQuietLine();
    // The device went away (adapter pulled): close it so later calls fail quietly.
    void lose();
    // A device that went away is opened again by its name before the next
    // exchange or wake-up: under a stable name (/dev/serial/by-id) an
    // adapter plugged in again is found whatever ttyUSBn it now has.
    void reopenIfLost();
    void pauseUntil(long long deadlineNs);

    int interruptFd_ = -1;
    bool lost_ = false;  // closed because the device went away, not by closePort
    // The last read ended on the interrupt descriptor: the rest of the answer
    // stays in the input for continueRead.
    bool interrupted_ = false;
    // The last read stopped at its capacity: the line may still be busy.
    bool lineMayBeBusy_ = false;
    int lastErrno_ = 0;
    std::string lastError_;
    bool wakeUpUsedBreak_ = false;
    bool pseudoTerminal_ = false;
    bool lastExchangeEchoed_ = false;  // an adapter is on the line and echoes
    SavedLineSettings savedSettings_;
};

}  // namespace m797
