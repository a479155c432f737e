#pragma once
// Writes what a producer hands over on a thread of its own, in the order
// handed over, so the producer never does the slow part (formatting, the
// disk) itself. The writer takes everything waiting at once and gives it to
// the write function as one batch.
//
// At most `bound` items wait. What happens beyond it depends on the
// producer:
// - WhenFull::Wait, a source that can wait (a replay played as fast as it
//   goes): the producer calls waitForRoom() before it hands an item over,
//   outside any lock of its own (a window reading the same record must not
//   wait for the disk), so nothing is lost however fast it produces. post()
//   itself never waits and never drops: a wait given up (a stop) lets one
//   more item in beyond the bound.
// - WhenFull::Drop, a live line that must never be held up: the writer did
//   not keep up. From then on nothing more is taken (counted as lost); the
//   items already waiting are still written, and then the failure is
//   reported once, as "behind", with the number lost so far.
// When a write fails, the items of the batch it did not write and those
// still waiting are lost, the failure is reported once, and nothing more is
// taken. lost() counts every item handed over and not written.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace m797 {

template <class Item>
class BackgroundWriter {
public:
    enum class WhenFull { Wait, Drop };
    struct Failure {
        bool behind = false;  // the writer did not keep up; else a write failed
        long lost = 0;        // items handed over and not written, so far
    };
    // Writes the batch in order; returns how many items (from the front) it
    // wrote. Fewer than the batch holds is a failed write.
    using WriteBatch = std::function<std::size_t(std::vector<Item>&)>;
    // Called once, on the writer's thread.
    using Failed = std::function<void(const Failure&)>;

    BackgroundWriter(std::size_t bound, WhenFull whenFull, WriteBatch write, Failed failed)
        : bound_(bound),
          whenFull_(whenFull),
          write_(std::move(write)),
          failed_(std::move(failed)),
          thread_([this] { run(); }) {}

    // Writes everything handed over (unless the writing failed), then ends.
    ~BackgroundWriter() {
        {
            std::lock_guard guard(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        space_.notify_all();
        thread_.join();
    }
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    void setWhenFull(WhenFull whenFull) {
        std::lock_guard guard(mutex_);
        whenFull_ = whenFull;
    }

    // Under WhenFull::Wait: waits while `bound` items wait to be written,
    // until the writer has taken them, the writing stopped, or `giveUp` says
    // so (asked every 100 ms). Returns at once under WhenFull::Drop.
    void waitForRoom(const std::function<bool()>& giveUp = {}) {
        std::unique_lock guard(mutex_);
        while (whenFull_ == WhenFull::Wait && queue_.size() >= bound_ && taking_ && !stopping_) {
            if (giveUp && giveUp()) return;
            space_.wait_for(guard, std::chrono::milliseconds(100));
        }
    }

    // Hands an item over. Never waits; under WhenFull::Drop an item beyond
    // `bound` stops the taking (the writer is behind).
    void post(Item item) {
        {
            std::unique_lock guard(mutex_);
            if (!taking_ || stopping_) {
                ++lost_;
                return;
            }
            if (whenFull_ == WhenFull::Drop && queue_.size() >= bound_) {
                taking_ = false;
                behind_ = true;
                ++lost_;
            } else {
                queue_.push_back(std::move(item));
            }
        }
        wake_.notify_one();
    }

    // Waits until everything handed over is written or lost.
    void flush() {
        std::unique_lock guard(mutex_);
        drained_.wait(guard, [this] { return queue_.empty() && !busy_ && !(behind_ && !reported_); });
    }

    // The writing stopped: a write failed or the writer fell behind.
    bool failed() const {
        std::lock_guard guard(mutex_);
        return !taking_;
    }
    long lost() const {
        std::lock_guard guard(mutex_);
        return lost_;
    }

private:
    void run() {
        std::vector<Item> batch;
        std::unique_lock guard(mutex_);
        for (;;) {
            busy_ = false;
            drained_.notify_all();
            wake_.wait(guard, [this] { return stopping_ || !queue_.empty() || (behind_ && !reported_); });
            if (queue_.empty()) {
                if (behind_ && !reported_) {
                    report(guard, true);
                    continue;
                }
                return;  // stopping, all written
            }
            batch.swap(queue_);
            busy_ = true;
            space_.notify_all();
            guard.unlock();
            const std::size_t written = write_(batch);
            guard.lock();
            if (written < batch.size()) {
                lost_ += static_cast<long>(batch.size() - written + queue_.size());
                queue_.clear();
                taking_ = false;
                space_.notify_all();
                if (!reported_) report(guard, false);
            }
            batch.clear();
        }
    }

    // Once; the handler runs without the mutex held, and flush() waits for it.
    void report(std::unique_lock<std::mutex>& guard, bool behind) {
        reported_ = true;
        busy_ = true;
        const Failure failure{behind, lost_};
        guard.unlock();
        if (failed_) failed_(failure);
        guard.lock();
    }

    const std::size_t bound_;
    WhenFull whenFull_;
    WriteBatch write_;
    Failed failed_;
    mutable std::mutex mutex_;
    std::condition_variable wake_, drained_, space_;
    std::vector<Item> queue_;
    bool busy_ = false;  // the writer holds a batch not yet written, or is reporting
    bool stopping_ = false;
    bool taking_ = true;  // false once the writer fell behind or a write failed
    bool behind_ = false;
    bool reported_ = false;
    long lost_ = 0;
    std::thread thread_;  // last: starts once everything above is made
};

}  // namespace m797
