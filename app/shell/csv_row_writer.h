#pragma once
// Makes and writes the CSV log's rows on a thread of its own, so the
// acquisition thread only copies a row's values (under record.lock) and goes
// on: it never waits for the disk, and the lock is never held across a write.
// Rows are written in the order handed over, each with its own write. When
// one cannot be written the log stops: the failure is reported once and rows
// handed over later are dropped.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "app/shell/csv_row_values.h"

namespace m797 {

class CsvRowWriter {
public:
    // Writes one row; false when it failed (the reason is the caller's to keep).
    using WriteRow = std::function<bool(const CsvRowValues&, RowTime)>;
    // Called once, on the writer's thread, when a row could not be written
    // or rows waited beyond any reason (the disk stopped keeping up).
    using Failed = std::function<void(bool tooManyWaiting)>;

    CsvRowWriter(WriteRow write, Failed failed);
    ~CsvRowWriter();  // writes every row handed over, then ends
    CsvRowWriter(const CsvRowWriter&) = delete;
    CsvRowWriter& operator=(const CsvRowWriter&) = delete;

    // Hands a row over; never waits for the disk. Dropped once the log failed.
    void post(const CsvRowValues& values, RowTime time);
    // Waits until every row handed over is written (or dropped).
    void flush();
    bool failed() const;

private:
    void run();
    void fail(bool tooManyWaiting);

    WriteRow write_;
    Failed failed_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, drained_;
    std::deque<std::pair<CsvRowValues, RowTime>> queue_;
    bool busy_ = false;      // the thread holds a row not yet written
    bool stopping_ = false;
    bool overflow_ = false;  // more rows waited than the disk could take
    bool hasFailed_ = false;
    std::thread thread_;
};

}  // namespace m797
