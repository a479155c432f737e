#include "app/shell/csv_row_writer.h"

namespace m797 {
namespace {

// Rows waiting beyond this (about an hour of polling) mean the disk has
// stopped keeping up; memory is not spent on them.
constexpr std::size_t kMaxWaiting = 20000;

}  // namespace

CsvRowWriter::CsvRowWriter(WriteRow write, Failed failed)
    : write_(std::move(write)), failed_(std::move(failed)), thread_([this] { run(); }) {}

CsvRowWriter::~CsvRowWriter() {
    {
        std::lock_guard guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void CsvRowWriter::post(const CsvRowValues& values, RowTime time) {
    {
        std::lock_guard guard(mutex_);
        if (hasFailed_ || stopping_) return;
        if (queue_.size() >= kMaxWaiting) {
            overflow_ = true;  // the writer's thread reports it
            queue_.clear();
        } else {
            queue_.emplace_back(values, time);
        }
    }
    wake_.notify_one();
}

void CsvRowWriter::flush() {
    std::unique_lock guard(mutex_);
    drained_.wait(guard, [this] { return queue_.empty() && !busy_; });
}

bool CsvRowWriter::failed() const {
    std::lock_guard guard(mutex_);
    return hasFailed_;
}

void CsvRowWriter::run() {
    std::unique_lock guard(mutex_);
    for (;;) {
        busy_ = false;
        drained_.notify_all();
        wake_.wait(guard, [this] { return stopping_ || overflow_ || !queue_.empty(); });
        if (overflow_) {
            overflow_ = false;
            guard.unlock();
            fail(true);
            guard.lock();
            continue;
        }
        if (queue_.empty()) return;  // stopping, all written
        const auto row = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        guard.unlock();
        const bool written = write_(row.first, row.second);
        if (!written) fail(false);
        guard.lock();
    }
}

// Once only; the rows still waiting are dropped.
void CsvRowWriter::fail(bool tooManyWaiting) {
    {
        std::lock_guard guard(mutex_);
        if (hasFailed_) return;
        hasFailed_ = true;
        queue_.clear();
    }
    if (failed_) failed_(tooManyWaiting);
}

}  // namespace m797
