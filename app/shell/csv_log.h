#pragma once
// CSV log of the live data (--log FILE): a header row, then one row for every
// poll cycle whose live-data answers passed the frame checks. Columns: time_s
// (seconds since the session started, three decimals), time (wall-clock,
// ISO 8601 UTC with milliseconds), then one per catalogue entry that shows a
// value, in catalogue order, named by its mnemonic and, where the catalogue
// gives one, its unit ("ADC_BAT [V]"); reserved entries have no column.
// Numbers always use "." whatever the locale; bit fields and hex words are
// written as hex with a 0x prefix ("0x11"), so no reader takes "00010001" for
// a number. RFC 4180 quoting, "\n" line ends, every row reaches the file with
// a single write(2) as soon as it is made, so a killed program loses at most
// the row it was writing.
//
// Every file is a valid CSV on its own: an existing file is appended to only
// when its header is this one (after a line end, if its last line was cut
// short); otherwise the log goes to the first name beside it that is free or
// has this header (name-2.csv, name-3.csv, ...), and notice() says so.
//
// Used from the acquisition thread only; writeRow reads the record, so the
// caller holds record.lock.

#include <chrono>
#include <cstdint>
#include <string>

namespace m797 {

struct LiveRecord;
class LineClock;

// When a row's values arrived: since the session's start, and on the wall clock.
struct RowTime {
    std::int64_t sinceStartUs = 0;
    std::int64_t wallUs = 0;
};

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
    // The file written, and (UTF-8) why it is not the one asked for; empty
    // when it is.
    const std::string& path() const { return path_; }
    const std::string& notice() const { return notice_; }
    // Rows of logCycle take their time from the line (the end of the cycle's
    // last exchange), so a replayed session logs the times of the drive.
    // Without a clock they take the steady clock since open().
    void useClock(const LineClock* clock) { clock_ = clock; }

    // One row for the record's current values. Returns false when the row
    // could not be written; the log is then closed and error() says why.
    // Does nothing (and returns false) while the log is closed.
    bool writeRow(const LiveRecord& record, double secondsSinceStart);
    bool writeRow(const LiveRecord& record, RowTime time);
    // For the acquisition thread's cycle observer: a row for every cycle with
    // live data while the log is open. False only for the row that failed.
    bool logCycle(const LiveRecord& record, bool gotLiveData);
    const std::string& error() const { return error_; }
    // Seconds on the steady clock since open() succeeded (the time_s of a row).
    double secondsSinceOpen() const;

    static std::string headerRow();
    static std::string formatRow(const LiveRecord& record, double secondsSinceStart);
    static std::string formatRow(const LiveRecord& record, RowTime time);

private:
    enum class Fit { New, SameHeader, Other, Failed };
    Fit openCandidate(const std::string& candidate);
    RowTime rowTime(double secondsSinceStart) const;
    bool writeAll(const std::string& bytes);

    int fd_ = -1;
    std::string path_;
    std::string error_;
    std::string notice_;
    const LineClock* clock_ = nullptr;
    std::chrono::steady_clock::time_point openedAt_{};
    std::int64_t openedWallUs_ = 0;
};

}  // namespace m797
