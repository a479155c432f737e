#pragma once
// CSV log of the live data (--log FILE): a header row, then one row for every
// poll cycle that received a live-data answer. Columns: time_s (seconds since
// logging started, three decimals), then one per catalogue entry that shows a
// value, in catalogue order, named by its mnemonic; reserved entries have no
// column. Numbers always use "." whatever the locale. RFC 4180 quoting, "\n"
// line ends, every row reaches the file with a single write(2) as soon as it
// is made, so a killed program loses at most the row it was writing.
//
// An existing file is never overwritten: rows are appended after a new header
// row (and after a line end, if the file's last line was cut short).
//
// Used from the acquisition thread only; writeRow reads the record, so the
// caller holds record.lock.

#include <chrono>
#include <string>

namespace m797 {

struct LiveRecord;

class CsvLog {
public:
    CsvLog() = default;
    ~CsvLog();
    CsvLog(const CsvLog&) = delete;
    CsvLog& operator=(const CsvLog&) = delete;

    // Opens (or creates) the file for appending and writes the header row.
    // Returns an empty string on success, else a UTF-8 message naming the
    // path and the reason; the log then stays closed.
    std::string open(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    void close();

    // One row for the record's current values. Returns false when the row
    // could not be written; the log is then closed and error() says why.
    // Does nothing (and returns false) while the log is closed.
    bool writeRow(const LiveRecord& record, double secondsSinceStart);
    // For the acquisition thread's cycle observer: a row for every cycle with
    // live data while the log is open. False only for the row that failed.
    bool logCycle(const LiveRecord& record, bool gotLiveData);
    const std::string& error() const { return error_; }
    // Seconds on the steady clock since open() succeeded (the time_s of a row).
    double secondsSinceOpen() const;

    static std::string headerRow();
    static std::string formatRow(const LiveRecord& record, double secondsSinceStart);

private:
    bool writeAll(const std::string& bytes);

    int fd_ = -1;
    std::string path_;
    std::string error_;
    std::chrono::steady_clock::time_point openedAt_{};
};

}  // namespace m797
