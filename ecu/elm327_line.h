#pragma once
// The line through an ELM327-type adapter. Above it everything is as with
// the plain K-line adapter: a request frame goes in and what comes back is
// laid out as the plain adapter reads it (the request's echo, then the
// control unit's whole frame with header and checksum), so the answer
// checks, decoding, recording and replay run unchanged.
//
// Opening resets and identifies the adapter and sets it up (elmSetupSteps);
// the wake-up becomes the adapter's own fast initialisation, made when the
// StartCommunication request comes; every other request goes out as hex with
// a response count of 1, so the adapter returns as soon as the answer is in
// instead of waiting its time-out for more. The adapter's messages ("NO
// DATA", "BUS INIT: ...ERROR", "<DATA ERROR", ...) become what a plain
// adapter shows in the same situation: the echo alone, or a damaged frame.
// A lost adapter (pulled, a dropped Wi-Fi link) reads as no adapter at all,
// and the next wake-up opens it again.

#include <cstdint>
#include <string>
#include <vector>

#include "ecu/adapter_port.h"
#include "ecu/elm327_dialogue.h"
#include "ecu/serial_line.h"

namespace m797 {

struct Elm327Timeouts {
    int resetMs = 1500;     // reset (AT WS / AT Z) to its prompt
    int commandMs = 1000;   // any other AT command
    int fastInitMs = 5000;  // AT FI, or a request that initialises the bus
    int requestMs = 2000;   // a request to its prompt
    int connectMs = 3000;   // a TCP connection
};

class Elm327Line : public SerialLine {
public:
    static constexpr unsigned kDefaultBaud = 38400;
    // A serial adapter without a baud rate given is looked for at these, the
    // rate it was last found at first: 38400 is the usual setting, 9600 the
    // first adapters', the others what newer ones are set to.
    static constexpr unsigned kSearchedBauds[5] = {kDefaultBaud, 9600, 115200, 57600, 230400};
    static constexpr unsigned kSearchBaud = 0;
    // The least time one attempt to find a lost adapter again takes.
    static constexpr int kReopenAttemptMs = 1500;

    // `baud` kSearchBaud: the rates of kSearchedBauds in turn (a Wi-Fi
    // adapter has none to find).
    Elm327Line(std::string portName, unsigned baud = kDefaultBaud, Elm327Timeouts timeouts = {});

    bool openPort() override;
    std::uint32_t exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                           std::uint32_t capacity) override;
    std::uint32_t continueRead(std::uint8_t* answer, std::uint32_t got, std::uint32_t capacity) override;
    bool lastReadInterrupted() const override { return interrupted_; }
    void sendWakeUpPulse() override;
    void closePort() override;
    void setInterruptFd(int fd) override {
        interruptFd_ = fd;
        port_.setInterruptFd(fd);
    }
    int lastErrorNumber() const override { return port_.lastErrorNumber(); }
    std::string lastErrorText() const override { return port_.lastErrorText(); }

    // What the adapter said it is ("ELM327 v1.5"), once opened.
    const std::string& identity() const { return identity_; }
    // Whether the adapter takes a response count after a request.
    bool responseCountsTaken() const { return withCount_; }

    // The rate the adapter answered at (0 before it first did).
    unsigned baud() const { return foundBaud_; }

    const std::string portName;

private:
    // One command line to its prompt; false when the adapter did not answer.
    bool command(const std::string& line, int timeoutMs, std::string& reply);
    std::vector<unsigned> bauds() const;
    bool openAt(unsigned rate);
    bool stopAsked() const;
    bool resetAndIdentify(unsigned rate);
    void settle();
    bool setUp();
    bool selectHeader(std::uint8_t target, std::uint8_t source);
    // The fast initialisation with the StartCommunication the adapter sends
    // itself; false when the adapter has no AT FI (the request then goes out
    // as it is, and the adapter initialises the bus for it).
    bool fastInit(const ElmRequest& request, ElmAnswer& answer);
    ElmAnswer sendRequest(const ElmRequest& request);
    ElmAnswer finishRequest(std::string& text, AdapterPort::ReadEnd end);
    void lost();
    void waitOutAttempt(long long startNs);

    const unsigned givenBaud_;
    unsigned foundBaud_ = 0;
    Elm327Timeouts timeouts_;
    AdapterPort port_;
    int interruptFd_ = -1;
    std::string identity_;
    std::string lastText_;   // everything the last command brought back
    bool withCount_ = true;  // AT versions before 1.3 refuse the count digit
    bool hasFastInit_ = true;
    bool busUp_ = false;         // the adapter's bus is initialised
    bool initWanted_ = false;    // a wake-up asked for a new initialisation
    bool reopenWanted_ = false;  // the adapter was lost after it had been open
    std::uint8_t headerTarget_ = 0x10, headerSource_ = 0xF1;

    // A request whose answer a pause cut short: its text so far.
    bool interrupted_ = false;
    std::string pendingText_;
    std::vector<std::uint8_t> pendingFrame_;
    ElmRequest pendingRequest_;
};

}  // namespace m797
