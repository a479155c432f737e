#include "sim/elm327_interpreter.h"

#include <cctype>
#include <cstdio>

namespace m797::sim {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

constexpr microseconds kEcuAnswerDelay = milliseconds(25);  // as the K-line simulator's control unit
constexpr std::size_t kShortAnswerDataBytes = 7;            // without AT AL
constexpr microseconds kFailedInitTime = milliseconds(300);

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool allHex(std::string_view s) {
    for (char c : s)
        if (hexValue(c) < 0) return false;
    return !s.empty();
}

int hexByteAt(std::string_view s, std::size_t at) { return hexValue(s[at]) << 4 | hexValue(s[at + 1]); }

std::string normalised(std::string_view line) {
    std::string out;
    for (char c : line)
        if (c != ' ' && c != '\t' && c != '\n')
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::uint8_t sumOf(const Bytes& b, std::size_t n) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += b[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

}  // namespace

bool parseElmFault(const std::string& name, ElmFault& out) {
    static const std::pair<const char*, ElmFault> names[] = {{"none", ElmFault::None},
                                                             {"no-data", ElmFault::NoData},
                                                             {"init-refused", ElmFault::InitRefused},
                                                             {"data-error", ElmFault::DataError}};
    for (const auto& [n, f] : names)
        if (name == n) {
            out = f;
            return true;
        }
    return false;
}

Elm327Interpreter::Elm327Interpreter(SimulatedEcu& ecu, ElmFault fault, bool realTiming)
    : ecu_(ecu), fault_(fault), realTiming_(realTiming) {}

microseconds Elm327Interpreter::kLineTime(std::size_t bytes) const {
    return realTiming_ ? microseconds(static_cast<long long>(bytes) * 10 * 1000000LL / 10400) : microseconds(0);
}

microseconds Elm327Interpreter::answerTimeout() const {
    return realTiming_ ? microseconds(s_.timeoutUnits * 4000LL) : microseconds(0);
}

std::string Elm327Interpreter::joinLines(const std::string& body) const {
    const std::string eol = s_.linefeeds ? "\r\n" : "\r";
    std::string out;
    std::size_t start = 0;
    while (start <= body.size()) {
        const std::size_t end = body.find('\n', start);
        out += body.substr(start, end == std::string::npos ? std::string::npos : end - start) + eol;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return out + eol + ">";
}

ElmReply Elm327Interpreter::onLine(std::string_view raw, double now) {
    std::string line = normalised(raw);
    if (line.empty()) line = lastLine_;  // a bare return repeats the last command
    ElmReply reply;
    std::string body = "?";
    if (line.rfind("AT", 0) == 0)
        body = atCommand(line.substr(2), reply, now);
    else if (allHex(line) && line.size() >= 2)
        body = request(line, reply, now);
    lastLine_ = line;
    reply.text = (s_.echo ? std::string(raw) + "\r" : std::string()) + joinLines(body);
    return reply;
}

std::string Elm327Interpreter::atCommand(const std::string& c, ElmReply& reply, double now) {
    auto flag = [&](const char* name, bool& setting) {
        const std::string n = name;
        if (c == n + "0" || c == n + "1") {
            setting = c.back() == '1';
            return true;
        }
        return false;
    };
    if (c == "Z" || c == "WS" || c == "D") {
        s_ = Settings{};
        busUp_ = false;
        return c == "D" ? "OK" : std::string(c == "Z" ? "\n" : "") + kIdentity;
    }
    if (c == "I") return kIdentity;
    if (c == "@1") return "OBDII to RS232 Interpreter";
    if (c == "RV") return "12.4V";
    if (c == "DP") return s_.protocol == '5' ? "ISO 14230-4 (KWP FAST)" : "AUTO";
    if (c == "DPN") return std::string(1, s_.protocol);
    if (flag("E", s_.echo) || flag("L", s_.linefeeds) || flag("S", s_.spaces) || flag("H", s_.headers))
        return "OK";
    if (c == "AL" || c == "NL") {
        s_.allowLong = c == "AL";
        return "OK";
    }
    if (c.size() == 3 && c.rfind("SP", 0) == 0 && hexValue(c[2]) >= 0) {
        s_.protocol = c[2];
        busUp_ = false;
        return "OK";
    }
    if (c.size() == 8 && c.rfind("SH", 0) == 0 && allHex(c.substr(2))) {
        for (int i = 0; i < 3; ++i) s_.header[i] = static_cast<std::uint8_t>(hexByteAt(c, 2 + 2 * i));
        return "OK";
    }
    if (c.size() == 4 && c.rfind("ST", 0) == 0 && allHex(c.substr(2))) {
        s_.timeoutUnits = hexByteAt(c, 2);
        if (s_.timeoutUnits == 0) s_.timeoutUnits = 0x32;
        return "OK";
    }
    if ((c.size() == 4 && c.rfind("SW", 0) == 0 && allHex(c.substr(2))) ||
        (c.size() >= 4 && c.rfind("WM", 0) == 0 && allHex(c.substr(2))) || c == "AT0" || c == "AT1" || c == "AT2")
        return "OK";
    if (c == "PC") {
        busUp_ = false;
        return "OK";
    }
    if (c == "FI") {
        if (s_.protocol != '5') return "?";
        return fastInit(reply, now) ? "BUS INIT: ...OK" : "BUS INIT: ...ERROR";
    }
    if (c == "KW") {
        char text[32];
        std::snprintf(text, sizeof text, "1:%02X 2:%02X", keyBytes_[0], keyBytes_[1]);
        return busUp_ ? text : "1:-- 2:--";
    }
    return "?";
}

// The wake-up pattern (25 ms low, 25 ms high), StartCommunication with the
// header set, and the control unit's answer, whose key bytes AT KW shows. A
// failed initialisation takes the adapter its time even without line
// timing, as a control unit that is silent for a while (after a reset) is
// not given up on within that while.
bool Elm327Interpreter::fastInit(ElmReply& reply, double now) {
    busUp_ = false;
    reply.busy += realTiming_ ? microseconds(50000) : microseconds(0);
    if (fault_ == ElmFault::InitRefused) {
        reply.busy += kFailedInitTime;
        return false;
    }
    ecu_.wakeUp(now);
    const Bytes start = frameFor({0x81});
    const Bytes answer = ecu_.answer(start, now);
    reply.busy += kLineTime(start.size());
    if (answer.size() < 7 || answer[3] != 0xC1) {
        reply.busy += kFailedInitTime;
        return false;
    }
    reply.busy += kEcuAnswerDelay + kLineTime(answer.size());
    keyBytes_[0] = answer[4];
    keyBytes_[1] = answer[5];
    busUp_ = true;
    return true;
}

Bytes Elm327Interpreter::frameFor(const Bytes& data) const {
    Bytes f;
    f.reserve(data.size() + 4);
    f.push_back(static_cast<std::uint8_t>((s_.header[0] & 0xC0) | (data.size() & 0x3F)));
    f.push_back(s_.header[1]);
    f.push_back(s_.header[2]);
    for (std::uint8_t b : data) f.push_back(b);
    f.push_back(sumOf(f, f.size()));
    return f;
}

// An answer frame as the adapter prints it: with headers, the whole frame;
// without, the data bytes alone. Without AT AL a long answer stops after
// seven data bytes.
std::string Elm327Interpreter::shown(const Bytes& answer) {
    const std::size_t head = (answer[0] & 0x3F) == 0 ? 4 : 3;
    Bytes out = answer;
    bool damaged = false;
    if (!s_.allowLong && answer.size() - head - 1 > kShortAnswerDataBytes)
        out.resize(head + kShortAnswerDataBytes);
    if (fault_ == ElmFault::DataError && ++answers_ % 3 == 0) {
        out.back() ^= 0x01;
        damaged = true;
    }
    std::size_t first = 0, last = out.size();
    if (!s_.headers) {
        first = head;
        if (out.size() == answer.size()) --last;
    }
    std::string text;
    for (std::size_t i = first; i < last; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", out[i]);
        if (!text.empty() && s_.spaces) text += ' ';
        text += hex;
    }
    return damaged ? text + (s_.spaces ? " " : "") + "<DATA ERROR" : text;
}

std::string Elm327Interpreter::request(const std::string& hex, ElmReply& reply, double now) {
    if (s_.protocol != '5' && s_.protocol != '0') return "UNABLE TO CONNECT";
    const bool counted = hex.size() % 2 == 1;
    const int expected = counted ? hexValue(hex.back()) : 0;
    Bytes data;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        data.push_back(static_cast<std::uint8_t>(hexByteAt(hex, i)));
    std::string prefix;
    if (!busUp_) {
        if (!fastInit(reply, now)) return "BUS INIT: ...ERROR";
        prefix = "BUS INIT: ...OK\n";
    }
    const Bytes frame = frameFor(data);
    reply.busy += kLineTime(frame.size());
    Bytes answer;
    if (fault_ != ElmFault::NoData) answer = ecu_.answer(frame, now);
    if (answer.empty()) {
        reply.busy += answerTimeout();
        return prefix + "NO DATA";
    }
    reply.busy += kEcuAnswerDelay + kLineTime(answer.size());
    // Without a count reached the adapter waits its time-out for more.
    if (!counted || expected > 1) reply.busy += answerTimeout();
    return prefix + shown(answer);
}

}  // namespace m797::sim
