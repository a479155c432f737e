#pragma once
// The trace of a session on the K-line (docs/trace-format.md): a text file of
// lines, one record a line, hex bytes. Made by TraceWriter from what the
// recording line saw, read back here for the replay line.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace m797 {

constexpr int kTraceFormatVersion = 1;
constexpr const char* kTraceMagic = "m797trace";

enum class TraceKind : char { Open = 'o', Close = 'c', WakeUp = 'w', Exchange = 'x' };

struct TraceRecord {
    TraceKind kind = TraceKind::Exchange;
    std::int64_t atUs = 0;  // start, microseconds since the session's start
    std::int64_t durationUs = 0;
    std::uint32_t capacity = 0;               // exchange: bytes the program asked for
    std::vector<std::uint8_t> written, read;  // exchange: request, then every byte read (echo first)
    bool cut = false;                         // exchange cut short by a pause; it was made again
    bool ok = true;                           // open: the port opened
    int error = 0;                            // open: errno of the failure
};

struct TraceProblem {
    long line = 0;     // 1-based line number in the file
    std::string text;  // UTF-8
};

struct Trace {
    int formatVersion = 0;
    std::string program;           // "m797diag 1.1.0"
    std::int64_t startWallUs = 0;  // wall-clock time of the session's start
    std::vector<TraceRecord> records;
    std::vector<TraceProblem> problems;  // at most kMaxTraceProblems kept
    long problemCount = 0;               // all of them
};

constexpr std::size_t kMaxTraceProblems = 100;
// Longest byte string of one record; longer is a damaged line.
constexpr std::size_t kMaxTraceBytes = 4096;
// Longest line kept to be read: two such byte strings in hex and the rest of
// a record fit well. Longer lines are left out unread.
constexpr std::size_t kMaxTraceLineBytes = 4 * kMaxTraceBytes + 256;

// The header lines (format, program, start time, line settings).
std::string traceHeader(const std::string& program, std::int64_t startWallUs);
// One record as one line, "\n" included.
std::string formatTraceRecord(const TraceRecord& record);

// Reads a whole trace. Never fails: what cannot be read is a problem with its
// line number, and every line that can be read is kept. `ownProgram` is this
// program's name and version; a trace made by another is noted.
Trace parseTrace(const std::string& text, const std::string& ownProgram);
// Reads a trace file (or a pipe, a FIFO, a device) in pieces of bounded size,
// line by line as parseTrace does; memory stays bounded whatever the file
// holds. False with `error` (UTF-8) when the file cannot be read at all, is
// too large to be a trace, or `stopRequested` (asked while waiting for
// bytes, as from a FIFO nobody writes to) said to stop.
bool readTraceFile(const std::string& path, const std::string& ownProgram, Trace& trace, std::string& error,
                   const std::function<bool()>& stopRequested = {});
// Bytes of a damaged line as a terminal can show them harmlessly: printable
// ASCII as it is, a backslash doubled, every other byte as \xHH.
std::string escapedTraceText(std::string_view bytes);

}  // namespace m797
