#pragma once
// Writes a trace file on a thread of its own, so the acquisition thread never
// waits for the disk: it hands over records and goes on. When the disk fails
// (full, or the stick was pulled) the recording stops, the failure is
// reported once, and records handed over later are dropped; the link is
// never affected.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "app/record/background_writer.h"
#include "ecu/trace_format.h"

namespace m797 {

class TraceWriter {
public:
    TraceWriter() = default;
    ~TraceWriter();  // writes what was handed over, then closes
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;

    // Creates the file; an existing file is never overwritten: the trace then
    // goes to the first free name beside it (name-2.trace, ...) and notice()
    // says so. Returns an empty string or a UTF-8 message naming the path and
    // the reason.
    std::string open(const std::string& path, const std::string& program);
    // The file actually written, and (UTF-8) why it is not the one asked
    // for; empty when it is.
    const std::string& path() const { return path_; }
    const std::string& notice() const { return notice_; }
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
    // The recording stopped: the file lacks what came after error() was set.
    bool failed() const;
    std::string error() const;

private:
    // The header's text, or a record.
    using Piece = std::variant<std::string, TraceRecord>;
    using Writer = BackgroundWriter<Piece>;
    std::size_t writePieces(std::vector<Piece>& pieces);
    std::size_t writeAll(const std::string& bytes);
    void fail(const Writer::Failure& failure);

    std::string path_;
    std::string notice_;
    std::string program_;
    int fd_ = -1;
    int writeError_ = 0;  // errno of the failed write; on the writer's thread
    std::function<void(const std::string&)> onFailure_;
    mutable std::mutex errorMutex_;
    std::string error_;
    std::unique_ptr<Writer> writer_;  // while open
};

// The path itself when nothing is there, else the first of name-2.ext,
// name-3.ext, ... that does not exist (empty when none of 999 is free).
std::string firstFreeName(const std::string& path);
// What the window and the terminal say when a file was there already and
// the session went to the free name beside it (UTF-8).
std::string takenNameNotice(const std::string& asked, const std::string& used);
// name-N.ext beside name.ext (N >= 2); the extension is what follows the
// last dot of the file name.
std::string numberedName(const std::string& path, int n);

}  // namespace m797
