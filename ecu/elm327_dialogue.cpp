#include "ecu/elm327_dialogue.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace m797 {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

const char kHexDigits[] = "0123456789ABCDEF";

void appendHex(std::string& out, std::uint8_t b) {
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 0x0F];
}

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

std::string withoutSpaces(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\t') out += c;
    return out;
}

// The adapter's messages, by the text a line starts with (or holds, for the
// marks it appends to a line of bytes). Order: the first match wins.
struct MessageRow {
    const char* text;
    bool anywhere;  // also after bytes on the same line
    bool progress;  // says how far the adapter got; the answer follows
    ElmOutcome outcome;
};
constexpr MessageRow kMessages[] = {
    {"BUS INIT:", false, false, ElmOutcome::NoConnection},  // ERROR; the OK form is below
    {"UNABLE TO CONNECT", false, false, ElmOutcome::NoConnection},
    {"BUS ERROR", false, false, ElmOutcome::NoConnection},
    {"BUS BUSY", false, false, ElmOutcome::NoConnection},
    {"FB ERROR", false, false, ElmOutcome::NoConnection},
    {"CAN ERROR", false, false, ElmOutcome::NoConnection},
    {"LV RESET", false, false, ElmOutcome::NoConnection},
    {"ERR", false, false, ElmOutcome::NoConnection},  // ERR94 and the like
    {"NO DATA", false, false, ElmOutcome::NoData},
    {"<DATA ERROR", true, false, ElmOutcome::Damaged},
    {"<RX ERROR", true, false, ElmOutcome::Damaged},
    {"DATA ERROR", false, false, ElmOutcome::Damaged},
    {"BUFFER FULL", false, false, ElmOutcome::Damaged},
    {"STOPPED", false, false, ElmOutcome::Damaged},
    {"?", false, false, ElmOutcome::Damaged},
    {"SEARCHING", false, true, ElmOutcome::Frames},
    {"OK", false, true, ElmOutcome::Frames},
};

// Worse outcomes win over better ones within one answer.
int severity(ElmOutcome o) {
    switch (o) {
    case ElmOutcome::Frames: return 0;
    case ElmOutcome::NoData: return 1;
    case ElmOutcome::Damaged: return 2;
    case ElmOutcome::NoConnection: return 3;
    }
    return 3;
}

void worsen(ElmOutcome& current, ElmOutcome seen) {
    if (severity(seen) > severity(current)) current = seen;
}

// Hex pairs of a line (spaces already taken out); false when the line is
// not hex or has an odd number of digits.
bool parseHexLine(const std::string& line, std::vector<std::uint8_t>& out) {
    if (line.empty() || line.size() % 2 != 0) return false;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < line.size(); i += 2) {
        const int hi = hexValue(line[i]), lo = hexValue(line[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    out.insert(out.end(), bytes.begin(), bytes.end());
    return true;
}

std::vector<std::string> linesOf(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '>') {
            if (!current.empty()) lines.push_back(current);
            current.clear();
        } else if (c != '\0') {
            current += c;
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

bool isBusInitOk(const std::string& line) {
    return line.rfind("BUS INIT:", 0) == 0 && line.find("OK") != std::string::npos &&
           line.find("ERROR") == std::string::npos;
}

void parseLine(const std::string& raw, ElmAnswer& answer) {
    const std::string line = upper(raw);
    const std::string compact = withoutSpaces(line);
    if (compact.empty()) return;
    if (isBusInitOk(line)) return;
    for (const MessageRow& m : kMessages) {
        const std::string mark = withoutSpaces(m.text);
        const std::size_t at = compact.find(mark);
        if (at == std::string::npos || (!m.anywhere && at != 0)) continue;
        if (m.progress) return;
        worsen(answer.outcome, m.outcome);
        // Bytes before a mark (the damaged frame as it came) are kept.
        if (at > 0) parseHexLine(compact.substr(0, at), answer.bytes);
        return;
    }
    if (!parseHexLine(compact, answer.bytes)) worsen(answer.outcome, ElmOutcome::Damaged);
}

std::uint8_t sumOf(const std::uint8_t* b, std::size_t n) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum += b[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

// Whether `bytes` are one or more whole frames, each with a good checksum.
bool framesCheckOut(const std::vector<std::uint8_t>& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t n = bytes[at] & 0x3F;
        std::size_t length = 3 + n + 1;
        if (n == 0) {
            if (at + 3 >= bytes.size()) return false;
            length = 4 + bytes[at + 3] + 1;
        }
        if (at + length > bytes.size()) return false;
        if (sumOf(&bytes[at], length - 1) != bytes[at + length - 1]) return false;
        at += length;
    }
    return !bytes.empty();
}

constexpr ElmSetupStep kSetup[] = {
    {"ATE0", true, "echo off: the replies are the adapter's alone"},
    {"ATL0", false, "no line feeds after the carriage returns"},
    {"ATS0", false, "no spaces between the bytes: half the text to send"},
    {"ATH1", true, "headers on: format, target, source and checksum reach the answer checks"},
    {"ATAL", true, "long answers allowed (the live data is about 70 bytes)"},
    {"ATSP5", true, "ISO 14230-4 KWP with fast initialisation"},
    {"ATSH8110F1", true, "the header to the control unit at 0x10 from the tester at 0xF1"},
    {"ATSW00", false, "no periodic keep-alive: the control unit does not answer it"},
    {"ATST19", false, "answer time-out 100 ms (twice the 50 ms a control unit may take)"},
};

}  // namespace

ElmAnswer parseElmAnswer(std::string_view text) {
    ElmAnswer answer;
    answer.outcome = ElmOutcome::Frames;
    for (const std::string& line : linesOf(text)) parseLine(line, answer);
    if (answer.outcome == ElmOutcome::Frames && answer.bytes.empty()) answer.outcome = ElmOutcome::NoData;
    return answer;
}

std::string elmReplyLine(std::string_view text, std::string_view command) {
    const std::string echo = withoutSpaces(upper(command));
    std::string reply;
    for (const std::string& line : linesOf(text)) {
        if (withoutSpaces(upper(line)) == echo) continue;
        if (!reply.empty()) reply += ' ';
        reply += line;
    }
    return reply;
}

bool isElm327Identity(std::string_view reply) { return upper(reply).find("ELM327") != std::string::npos; }

bool parseElmKeyBytes(std::string_view reply, std::uint8_t& key1, std::uint8_t& key2) {
    const std::string r = withoutSpaces(upper(reply));
    const std::size_t a = r.find("1:"), b = r.find("2:");
    if (a == std::string::npos || b == std::string::npos || a + 4 > r.size() || b + 4 > r.size()) return false;
    const int v[4] = {hexValue(r[a + 2]), hexValue(r[a + 3]), hexValue(r[b + 2]), hexValue(r[b + 3])};
    if (std::any_of(std::begin(v), std::end(v), [](int x) { return x < 0; })) return false;
    key1 = static_cast<std::uint8_t>(v[0] << 4 | v[1]);
    key2 = static_cast<std::uint8_t>(v[2] << 4 | v[3]);
    return true;
}

ElmRequest elmRequestFor(std::span<const std::uint8_t> frame, int responseCount) {
    ElmRequest r;
    if (frame.size() < 5 || (frame[0] & 0xC0) != 0x80) return r;
    const std::size_t n = frame[0] & 0x3F;
    const std::size_t head = n == 0 ? 4 : 3;
    const std::size_t dataLength = n == 0 ? frame[3] : n;
    if (dataLength == 0 || frame.size() != head + dataLength + 1) return r;
    if (sumOf(frame.data(), frame.size() - 1) != frame.back()) return r;
    r.target = frame[1];
    r.source = frame[2];
    r.service = frame[head];
    for (std::size_t i = head; i < head + dataLength; ++i) appendHex(r.text, frame[i]);
    if (responseCount >= 1 && responseCount <= 15) r.text += kHexDigits[responseCount];
    r.valid = true;
    return r;
}

std::string elmHeaderCommand(std::uint8_t target, std::uint8_t source) {
    std::string text = "ATSH81";
    appendHex(text, target);
    appendHex(text, source);
    return text;
}

std::uint32_t layOutAsPlainAdapter(std::span<const std::uint8_t> request, const ElmAnswer& answer,
                                   std::uint8_t* out, std::uint32_t capacity) {
    std::vector<std::uint8_t> read(request.begin(), request.end());
    if (answer.outcome == ElmOutcome::Frames) {
        read.insert(read.end(), answer.bytes.begin(), answer.bytes.end());
    } else if (answer.outcome == ElmOutcome::Damaged) {
        std::vector<std::uint8_t> damaged = answer.bytes;
        if (damaged.empty())
            damaged.push_back(0x80);  // a format byte whose length never came
        else if (framesCheckOut(damaged))
            damaged.back() ^= 0xFF;
        read.insert(read.end(), damaged.begin(), damaged.end());
    }
    const std::uint32_t n = std::min<std::uint32_t>(capacity, static_cast<std::uint32_t>(read.size()));
    std::copy_n(read.begin(), n, out);
    return n;
}

std::vector<std::uint8_t> startCommunicationAnswer(std::uint8_t tester, std::uint8_t ecu, std::uint8_t key1,
                                                   std::uint8_t key2) {
    std::vector<std::uint8_t> f{0x83, tester, ecu, 0xC1, key1, key2};
    f.push_back(sumOf(f.data(), f.size()));
    return f;
}

std::span<const ElmSetupStep> elmSetupSteps() { return kSetup; }

}  // namespace m797
