#pragma once
// The line layer seen by the acquisition thread: one K-line adapter on one
// serial device. Implementations: the POSIX port (posix_serial_line.*), the
// pausable wrapper every exchange of the acquisition thread passes through
// (pausable_line.*), and scripted fakes in the tests.

#include <cstdint>
#include <functional>
#include <string>

namespace m797 {

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // Opens and configures the line (raw 8N1, 10400 baud, the read time-outs).
    virtual bool openPort() = 0;
    // Writes the request, then reads up to `capacity` bytes: the read ends when
    // that many arrived, 50 ms after the last byte once one has arrived, or
    // 50 ms x capacity + 50 ms after the start. Unread input is discarded
    // afterwards. Returns the number of bytes read (echo included).
    virtual std::uint32_t exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                                   std::uint32_t capacity) = 0;
    // One 0x00 at 360 baud 8N1, a pause to 50 ms, input flushed, 10400 baud again.
    virtual void sendWakeUpPulse() = 0;
    // Whether the read of the last exchange (or continueRead) ended because the
    // interrupt descriptor became readable, before its time-outs.
    virtual bool lastReadInterrupted() const { return false; }
    // Goes on with an exchange whose read an interruption cut short: reads up
    // to `capacity - got` more bytes into answer + got (the request is not
    // written again), then discards unread input. Returns the new total. Lines
    // that cannot be interrupted have nothing more to read.
    virtual std::uint32_t continueRead(std::uint8_t* /*answer*/, std::uint32_t got, std::uint32_t /*capacity*/) {
        return got;
    }
    // An exchange for a command that may be withdrawn: `wanted` is asked once
    // more when the line is free to write (after any pause), and a command
    // withdrawn in the meantime is not written. Returns false for withdrawn.
    virtual bool exchangeIfWanted(const std::function<bool()>& wanted, const std::uint8_t* request,
                                  std::uint32_t length, std::uint8_t* answer, std::uint32_t capacity,
                                  std::uint32_t& got) {
        if (!wanted()) return false;
        got = exchange(request, length, answer, capacity);
        return true;
    }
    virtual void closePort() = 0;
    // Whether the far end is a control unit that ends its session after 5 s
    // without a request (a replayed trace keeps no such time).
    virtual bool sessionsExpire() const { return true; }

    // A descriptor that becomes readable when a read in progress must end at
    // once (the user paused the link or the program ends); -1 for none. Lines
    // that cannot be interrupted ignore it.
    virtual void setInterruptFd(int /*fd*/) {}
    // Why the last openPort failed, for messages (errno value and text).
    virtual int lastErrorNumber() const { return 0; }
    virtual std::string lastErrorText() const { return {}; }
};

}  // namespace m797
