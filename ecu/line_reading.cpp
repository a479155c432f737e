#include "ecu/line_reading.h"

#include <algorithm>
#include <cstring>

namespace m797 {
namespace {

constexpr std::uint8_t kTester = 0xF1;
constexpr std::uint8_t kControlUnit = 0x10;

// Bytes of something else the echo may have between its own: a late copy of
// the wake-up byte from an adapter that echoes twice, a byte of noise.
constexpr int kStraysInEcho = 2;

struct EchoSpan {
    int length = 0;  // bytes from the echo's first to its last; 0 when not there
    int strays = 0;  // bytes of something else among them
};

// The request's bytes in order from `at`, each `copies` times in a row.
EchoSpan echoSpanAt(const std::uint8_t* request, int length, int copies, const std::uint8_t* b,
                    std::uint32_t received, std::uint32_t at) {
    if (b[at] != request[0]) return {};
    int strays = 0;
    std::uint32_t i = at;
    for (int k = 0; k < length * copies; ++k, ++i) {
        while (i < received && b[i] != request[k / copies]) {
            if (++strays > kStraysInEcho) return {};
            ++i;
        }
        if (i >= received) return {};
    }
    return {static_cast<int>(i - at), strays};
}

// The echo once, or every byte twice.
EchoSpan echoAt(const std::uint8_t* request, int length, const std::uint8_t* b, std::uint32_t received,
                std::uint32_t at) {
    const EchoSpan once = echoSpanAt(request, length, 1, b, received, at);
    return once.length != 0 ? once : echoSpanAt(request, length, 2, b, received, at);
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
            if (const EchoSpan echo = echoAt(request, length, b, received, at); echo.length != 0) {
                r.echoAt = static_cast<int>(at);
                r.echoEnd = static_cast<int>(at) + echo.length;
                r.echoStrays = echo.strays;
                at += echo.length;
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
