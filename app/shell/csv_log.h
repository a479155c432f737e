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
// One session per file: an existing file is never appended to (its rows
// would repeat and its time_s go back). The log goes to the first free name
// beside it (name-2.csv, name-3.csv, ...), and notice() says so. An empty
// file, a device or a pipe (/dev/stdout) gets the header and the rows.
//
// The acquisition thread's cycle observer passes its RecordLock to logCycle:
// it copies the row's values and hands them to a writer thread
// (BackgroundWriter), which makes the row and writes it after the lock is
// released. A live line is never held up: rows that wait beyond a bound mean
// the disk did not keep up, and the log stops with the number of rows lost.
// A replay waits for the writer instead (letSourceWait), so it loses none.
// writeRow writes at once, under the caller's lock.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/record/background_writer.h"
#include "app/shell/csv_row_values.h"

namespace m797 {

class LineClock;

class CsvLog {
public:
    CsvLog();
    ~CsvLog();
    CsvLog(const CsvLog&) = delete;
    CsvLog& operator=(const CsvLog&) = delete;

    // Creates the file (or the first free name beside it) and writes the header row.
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
    // A source that can wait (a replay) is held up by waitForRoom while the
    // writer is behind, instead of losing rows. Off by default (a live line).
    void letSourceWait(bool canWait);
    // For a source that can wait: before it takes the record's lock for
    // logCycle, waits while the writer is behind (never under the lock, so
    // a window reading the record does not wait for the disk), until
    // `giveUp` says so. Returns at once for a live line.
    void waitForRoom(const std::function<bool()>& giveUp = {});

    // One row for the record's current values. Returns false when the row
    // could not be written; the log is then closed and error() says why.
    // Does nothing (and returns false) while the log is closed.
    bool writeRow(const RecordLock& held, double secondsSinceStart);
    bool writeRow(const RecordLock& held, RowTime time);
    // For the acquisition thread's cycle observer: a row
    // for every cycle with live data while the log is open, written on the
    // writer's thread. Never waits for the disk. False
    // once the log stopped (the failure handler says so, once).
    bool logCycle(const RecordLock& held, bool gotLiveData);
    // Called once, on the writer's thread, with error() when a row of
    // logCycle could not be written; the log then writes no more rows.
    void setFailureHandler(std::function<void(const std::string&)> handler);
    // Waits until the rows of logCycle are written; close() does too.
    void flush();
    // Why the log stopped. Rows of logCycle set it on the writer's thread:
    // read it in the failure handler or after flush() or close().
    const std::string& error() const { return error_; }
    // Rows of logCycle handed over and not written (after flush() or close()).
    long lostRows() const { return lostRows_; }
    // Seconds on the steady clock since open() succeeded (the time_s of a row).
    double secondsSinceOpen() const;

    static std::string headerRow();
    static std::string formatRow(const RecordLock& held, double secondsSinceStart);
    static std::string formatRow(const RecordLock& held, RowTime time);
    static std::string formatRow(const CsvRowValues& values, RowTime time);

private:
    using RowWriter = BackgroundWriter<std::pair<CsvRowValues, RowTime>>;
    enum class Fit { New, Taken, Failed };
    Fit openCandidate(const std::string& candidate);
    RowTime rowTime(double secondsSinceStart) const;
    bool writeAll(const std::string& bytes);
    void closeFile();
    std::size_t writeRows(std::vector<std::pair<CsvRowValues, RowTime>>& rows);
    void rowFailed(const RowWriter::Failure& failure);

    int fd_ = -1;
    std::string path_;
    std::string error_;
    std::string notice_;
    const LineClock* clock_ = nullptr;
    std::chrono::steady_clock::time_point openedAt_{};
    std::int64_t openedWallUs_ = 0;
    std::function<void(const std::string&)> onFailure_;
    bool sourceCanWait_ = false;
    long lostRows_ = 0;
    std::unique_ptr<RowWriter> writer_;  // the rows of logCycle, while open
};

}  // namespace m797
