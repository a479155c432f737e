#include "ecu/line_reading.h"

#include <algorithm>
#include <cstring>

namespace m797 {
namespace {

constexpr std::uint8_t kTester = 0xF1;
constexpr std::uint8_t kControlUnit = 0x10;

bool echoAt(const std::uint8_t* request, int length, const std::uint8_t* b, std::uint32_t received,
            std::uint32_t at) {
    return at + length <= received && std::equal(request, request + length, b + at);
}

// Every byte of the request twice in a row.
bool doubledEchoAt(const std::uint8_t* request, int length, const std::uint8_t* b, std::uint32_t received,
                   std::uint32_t at) {
    if (at + 2u * length > received) return false;
    for (int i = 0; i < length; ++i)
        if (b[at + 2 * i] != request[i] || b[at + 2 * i + 1] != request[i]) return false;
    return true;
}

int echoLengthAt(const std::uint8_t* request, int length, const std::uint8_t* b, std::uint32_t received,
                 std::uint32_t at) {
    if (echoAt(request, length, b, received, at)) return length;
    if (doubledEchoAt(request, length, b, received, at)) return 2 * length;
    return 0;
}

bool toTesterFromControlUnit(const std::uint8_t* b, std::uint32_t at) {
    return b[at + 1] == kTester && b[at + 2] == kControlUnit;
}

}  // namespace

int wholeFrameAt(const std::uint8_t* b, std::uint32_t received, std::uint32_t at) {
    if ((b[at] & 0xC0) != 0x80 || at + 3 > received) return 0;
    int header = 3;
    int data = b[at] & 0x3F;
    if (data == 0) {
        if (at + 4 > received) return 0;
        header = 4;
        data = b[at + 3];
    }
    const std::uint32_t checksumAt = at + header + data;
    if (data == 0 || checksumAt >= received) return 0;
    unsigned sum = 0;
    for (std::uint32_t i = at; i < checksumAt; ++i) sum += b[i];
    if (static_cast<std::uint8_t>(sum & 0xFF) != b[checksumAt]) return 0;
    return header + data + 1;
}

LineReading readLine(const std::uint8_t* request, int length, const std::uint8_t* b, std::uint32_t received) {
    LineReading r;
    std::uint32_t at = 0;
    while (at < received) {
        if (r.echoAt < 0) {
            if (const int echo = echoLengthAt(request, length, b, received, at)) {
                r.echoAt = static_cast<int>(at);
                r.echoEnd = static_cast<int>(at) + echo;
                at += echo;
                continue;
            }
        }
        if (const int frame = wholeFrameAt(b, received, at)) {
            const bool ours = toTesterFromControlUnit(b, at);
            if (ours && r.echoAt >= 0 && r.answerAt < 0) {
                r.answerAt = static_cast<int>(at);
                r.answerLength = frame;
            } else if (ours && r.echoAt < 0) {
                r.answerBeforeEcho = true;
            } else {
                ++r.foreignFrames;
            }
            at += frame;
            continue;
        }
        ++r.strayBytes;
        ++at;
    }
    return r;
}

int strayBytesIn(const std::uint8_t* b, std::uint32_t from, std::uint32_t to) {
    int stray = 0;
    while (from < to) {
        const int frame = wholeFrameAt(b, to, from);
        stray += frame == 0;
        from += frame == 0 ? 1 : frame;
    }
    return stray;
}

std::uint32_t placeAnswer(const std::uint8_t* request, int length, std::uint8_t* b, std::uint32_t received) {
    const LineReading r = readLine(request, length, b, received);
    if (r.answerAt < 0) return received;
    if (r.answerAt != length) std::memmove(b + length, b + r.answerAt, r.answerLength);
    std::memcpy(b, request, length);
    return static_cast<std::uint32_t>(length + r.answerLength);
}

}  // namespace m797
