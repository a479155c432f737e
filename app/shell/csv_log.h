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
// a single write(2), so a killed program leaves whole rows (a cut last one at
// worst, which the next session ends with a line end).
//
// Every file is a valid CSV on its own: an existing file is appended to only
// when its header is this one (after a line end, if its last line was cut
// short); otherwise the log goes to the first name beside it that is free or
// has this header (name-2.csv, name-3.csv, ...), and notice() says so.
//
// The acquisition thread's cycle observer passes its RecordLock to logCycle:
// it copies the row's values and hands them to a writer thread
// (CsvRowWriter), which makes the row and writes it after the lock is
// released. writeRow writes at once, under the caller's lock.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/shell/csv_row_values.h"

namespace m797 {

class CsvRowWriter;
class LineClock;

class CsvLog {
public:
    CsvLog();
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
    bool writeRow(const RecordLock& held, double secondsSinceStart);
    bool writeRow(const RecordLock& held, RowTime time);
    // For the acquisition thread's cycle observer: a row
    // for every cycle with live data while the log is open, written on the
    // writer's thread. Never waits for the disk. False once a row of it
    // could not be written (the failure handler says so, once).
    bool logCycle(const RecordLock& held, bool gotLiveData);
    // Called once, on the writer's thread, with error() when a row of
    // logCycle could not be written; the log then writes no more rows.
    void setFailureHandler(std::function<void(const std::string&)> handler);
    // Waits until the rows of logCycle are written; close() does too.
    void flush();
    // Why the log stopped. Rows of logCycle set it on the writer's thread:
    // read it in the failure handler or after flush() or close().
    const std::string& error() const { return error_; }
    // Seconds on the steady clock since open() succeeded (the time_s of a row).
    double secondsSinceOpen() const;

    static std::string headerRow();
    static std::string formatRow(const RecordLock& held, double secondsSinceStart);
    static std::string formatRow(const RecordLock& held, RowTime time);
    static std::string formatRow(const CsvRowValues& values, RowTime time);

private:
    enum class Fit { New, SameHeader, Other, Failed };
    Fit openCandidate(const std::string& candidate);
    RowTime rowTime(double secondsSinceStart) const;
    bool writeAll(const std::string& bytes);
    void closeFile();
    void rowFailed(bool tooManyWaiting);

    int fd_ = -1;
    std::string path_;
    std::string error_;
    std::string notice_;
    const LineClock* clock_ = nullptr;
    std::chrono::steady_clock::time_point openedAt_{};
    std::int64_t openedWallUs_ = 0;
    std::function<void(const std::string&)> onFailure_;
    std::unique_ptr<CsvRowWriter> writer_;  // the rows of logCycle, while open
};

}  // namespace m797
