#pragma once
// The trace of a session on the K-line (docs/trace-format.md): a text file of
// lines, one record a line, hex bytes. Made by TraceWriter from what the
// recording line saw, read back here for the replay line.

#include <cstdint>
#include <string>
#include <vector>

namespace m797 {

constexpr int kTraceFormatVersion = 1;
constexpr const char* kTraceMagic = "m797trace";

enum class TraceKind : char { Open = 'o', Close = 'c', WakeUp = 'w', Exchange = 'x' };

struct TraceRecord {
    TraceKind kind = TraceKind::Exchange;
    std::int64_t atUs = 0;        // start, microseconds since the session's start
    std::int64_t durationUs = 0;
    std::uint32_t capacity = 0;   // exchange: bytes the program asked for
    std::vector<std::uint8_t> written, read;  // exchange: request, then every byte read (echo first)
    bool cut = false;             // exchange cut short by a pause; it was made again
    bool ok = true;               // open: the port opened
    int error = 0;                // open: errno of the failure
};

struct TraceProblem {
    long line = 0;                // 1-based line number in the file
    std::string text;             // UTF-8
};

struct Trace {
    int formatVersion = 0;
    std::string program;          // "m797diag 1.1.0"
    std::int64_t startWallUs = 0; // wall-clock time of the session's start
    std::vector<TraceRecord> records;
    std::vector<TraceProblem> problems;  // at most kMaxTraceProblems kept
    long problemCount = 0;        // all of them
};

constexpr std::size_t kMaxTraceProblems = 100;
// Longest byte string of one record; longer is a damaged line.
constexpr std::size_t kMaxTraceBytes = 4096;

// The header lines (format, program, start time, line settings).
std::string traceHeader(const std::string& program, std::int64_t startWallUs);
// One record as one line, "\n" included.
std::string formatTraceRecord(const TraceRecord& record);

// Reads a whole trace. Never fails: what cannot be read is a problem with its
// line number, and every line that can be read is kept. `ownProgram` is this
// program's name and version; a trace made by another is noted.
Trace parseTrace(const std::string& text, const std::string& ownProgram);
// parseTrace of a file's contents; false with `error` (UTF-8) when the file
// cannot be read at all.
bool readTraceFile(const std::string& path, const std::string& ownProgram, Trace& trace, std::string& error);

}  // namespace m797
