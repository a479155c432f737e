#pragma once
// Writes a trace file on a thread of its own, so the acquisition thread never
// waits for the disk: it hands over records and goes on. When the disk fails
// (full, or the stick was pulled) the recording stops, the failure is
// reported once, and records handed over later are dropped; the link is
// never affected.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ecu/trace_format.h"

namespace m797 {

class TraceWriter {
public:
    TraceWriter() = default;
    ~TraceWriter();  // writes what was handed over, then closes
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;

    // Creates the file; an existing file is never overwritten: the trace then
    // goes to the first free name beside it (name-2.trace, ...). Returns an
    // empty string or a UTF-8 message naming the path and the reason.
    std::string open(const std::string& path, const std::string& program);
    // The file actually written.
    const std::string& path() const { return path_; }
    // Called once, on the writer's thread, with a UTF-8 message when the
    // recording stops because the file cannot be written.
    void setFailureHandler(std::function<void(const std::string&)> handler);

    // The session starts: the header with its wall-clock start time.
    void begin(std::int64_t startWallUs);
    // Hands a record over; never waits for the disk.
    void post(TraceRecord record);
    // Waits until everything handed over is on disk (or dropped); for tests
    // and for the end of the program.
    void flush();
    void close();
    bool failed() const;
    std::string error() const;

private:
    void run();
    bool writeAll(const std::string& bytes);
    void fail(int error);

    std::string path_;
    std::string program_;
    int fd_ = -1;
    std::function<void(const std::string&)> onFailure_;

    mutable std::mutex mutex_;
    std::condition_variable wake_, drained_;
    std::vector<TraceRecord> queue_;
    std::string pendingText_;  // the header, before any record
    bool busy_ = false;        // the writer thread holds records not yet on disk
    bool stopping_ = false;
    bool overflow_ = false;    // more records waited than the writer could take
    bool running_ = false;     // the writer thread has not ended
    bool failed_ = false;
    std::string error_;
    std::thread thread_;
};

// The path itself when nothing is there, else the first of name-2.ext,
// name-3.ext, ... that does not exist (empty when none of 999 is free).
std::string firstFreeName(const std::string& path);
// name-N.ext beside name.ext (N >= 2); the extension is what follows the
// last dot of the file name.
std::string numberedName(const std::string& path, int n);

}  // namespace m797
