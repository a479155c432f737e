#pragma once
// The command interpreter of a simulated ELM327 adapter in front of the
// simulated control unit: AT commands, requests as hex (with an optional
// response count digit), answers as hex lines and the adapter's messages,
// each reply ending in the ">" prompt. It says how long the adapter is busy
// before its reply starts (the K-line bytes at 10400 baud, the control
// unit's answer time, and its answer time-out when it waits for more
// answers); the transport (elm327_simulator.*) paces the text itself.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/simulated_ecu.h"

namespace m797::sim {

enum class ElmFault {
    None,
    NoData,       // the control unit wakes, then answers nothing: "NO DATA"
    InitRefused,  // the fast initialisation fails: "BUS INIT: ...ERROR"
    DataError,    // every third answer arrives damaged: "<DATA ERROR"
};

// Names on the command line ("no-data", "init-refused", "data-error", "none").
bool parseElmFault(const std::string& name, ElmFault& out);

struct ElmReply {
    std::string text;                   // with the closing ">"
    std::chrono::microseconds busy{0};  // before the first character
};

class Elm327Interpreter {
public:
    static constexpr const char* kIdentity = "ELM327 v1.5";

    Elm327Interpreter(SimulatedEcu& ecu, ElmFault fault, bool realTiming);

    // One command line (without its carriage return) at `now` seconds of
    // the control unit's time.
    ElmReply onLine(std::string_view line, double now);

    bool busInitialised() const { return busUp_; }

private:
    struct Settings {
        bool echo = true, linefeeds = true, spaces = true, headers = false, allowLong = false;
        char protocol = '0';
        std::uint8_t header[3] = {0xC1, 0x33, 0xF1};
        int timeoutUnits = 0x32;  // AT ST, 4 ms each: 200 ms
    };

    std::string atCommand(const std::string& c, ElmReply& reply, double now);
    std::string request(const std::string& hex, ElmReply& reply, double now);
    bool fastInit(ElmReply& reply, double now);
    Bytes frameFor(const Bytes& data) const;
    std::string shown(const Bytes& answer);
    std::string joinLines(const std::string& body) const;
    std::chrono::microseconds kLineTime(std::size_t bytes) const;
    std::chrono::microseconds answerTimeout() const;

    SimulatedEcu& ecu_;
    ElmFault fault_;
    bool realTiming_;
    Settings s_;
    bool busUp_ = false;
    std::uint8_t keyBytes_[2] = {};
    std::string lastLine_;
    int answers_ = 0;
};

}  // namespace m797::sim
