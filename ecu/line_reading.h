#pragma once
// What one read off the K-line held. The line is shared: besides the
// adapter's echo of the request (once, or every byte twice as some adapters
// do, with at most two other bytes among its own) and the control unit's answer, it may carry frames of other
// units and bytes that no frame explains (line noise). The control unit's answer is the first whole frame to the
// tester (target 0xF1, source 0x10, good checksum) after the echo.

#include <cstdint>

namespace m797 {

struct LineReading {
    int echoAt = -1;                // where the echo starts; -1 when none was read
    int echoEnd = -1;               // the first byte after it
    int echoStrays = 0;             // bytes of something else among the echo's (two at most)
    int answerAt = -1;              // the control unit's answer after the echo; -1 when none
    int answerLength = 0;           // its bytes, checksum included
    bool answerBeforeEcho = false;  // a frame of the control unit came, but no echo before it
    int foreignFrames = 0;          // whole frames of other units (or not to the tester)
    int strayBytes = 0;             // bytes of no echo and no whole frame (outside the echo)
};

// Sorts the `received` bytes read after writing `request` (`length` bytes).
LineReading readLine(const std::uint8_t* request, int length, const std::uint8_t* bytes, std::uint32_t received);

// Bytes of no echo and no whole frame in bytes[from, to).
int strayBytesIn(const std::uint8_t* bytes, std::uint32_t from, std::uint32_t to);

// The bytes a whole frame at `at` takes (header, data, checksum), or 0 when
// none starts there: too few bytes, no data, or a wrong checksum.
int wholeFrameAt(const std::uint8_t* bytes, std::uint32_t received, std::uint32_t at);

// Moves the control unit's answer right after a single echo, where the readers
// of fixed positions expect it, and returns the bytes that now count (echo and
// answer). Without an answer after an echo nothing moves and `received` is
// returned.
std::uint32_t placeAnswer(const std::uint8_t* request, int length, std::uint8_t* bytes, std::uint32_t received);

}  // namespace m797
