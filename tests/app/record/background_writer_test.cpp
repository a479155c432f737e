// The background writer: nothing lost for a producer that can wait, an
// honest count for one that cannot, and a failed write reported once.
// The writer's thread is held inside a write by a gate the test opens, so
// the queue's state is known without any timing.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "app/record/background_writer.h"

namespace m797 {
namespace {

using Writer = BackgroundWriter<int>;

// A write function whose first write waits until open() is called; it says
// when the writer's thread is inside it.
class Gate {
public:
    std::size_t write(std::vector<int>& batch) {
        std::unique_lock guard(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(guard, [this] { return open_; });
        written.insert(written.end(), batch.begin(), batch.end());
        return failWrites ? 0 : batch.size();
    }
    void waitEntered() {
        std::unique_lock guard(mutex_);
        changed_.wait(guard, [this] { return entered_; });
    }
    void open() {
        std::lock_guard guard(mutex_);
        open_ = true;
        changed_.notify_all();
    }

    std::vector<int> written;  // read after flush()
    bool failWrites = false;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false, open_ = false;
};

struct Reports {
    std::mutex mutex;
    std::vector<Writer::Failure> failures;
    void add(const Writer::Failure& f) {
        std::lock_guard guard(mutex);
        failures.push_back(f);
    }
};

std::vector<int> upTo(int n) {
    std::vector<int> v;
    v.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) v.push_back(i);
    return v;
}

TEST(BackgroundWriter, AProducerThatCanWaitLosesNothingWhileTheWriterIsBehind) {
    constexpr std::size_t kBound = 3;
    Gate gate;
    Reports reports;
    {
        Writer writer(
            kBound, Writer::WhenFull::Wait, [&](std::vector<int>& b) { return gate.write(b); },
            [&](const Writer::Failure& f) { reports.add(f); });
        std::thread producer([&] {
            for (int i = 0; i < 50; ++i) {
                writer.waitForRoom();  // waits at the bound
                writer.post(i);
            }
        });
        gate.waitEntered();
        gate.open();
        producer.join();
        writer.flush();
        EXPECT_EQ(writer.lost(), 0);
        EXPECT_FALSE(writer.failed());
    }
    EXPECT_EQ(gate.written, upTo(50));
    EXPECT_TRUE(reports.failures.empty());
}

// A wait given up (the link stopped) lets the producer go on: one more item
// goes in beyond the bound and nothing is lost.
TEST(BackgroundWriter, AWaitForRoomGivenUpLetsOneMoreInAndLosesNothing) {
    Gate gate;
    Reports reports;
    Writer writer(
        2, Writer::WhenFull::Wait, [&](std::vector<int>& b) { return gate.write(b); },
        [&](const Writer::Failure& f) { reports.add(f); });
    writer.post(0);
    gate.waitEntered();  // the writer holds item 0; two more fill the queue
    writer.post(1);
    writer.post(2);
    int asked = 0;
    writer.waitForRoom([&] { return ++asked == 3; });
    EXPECT_EQ(asked, 3) << "waited, asking whether to give up, until told to";
    writer.post(3);
    gate.open();
    writer.flush();
    EXPECT_EQ(gate.written, upTo(4));
    EXPECT_EQ(writer.lost(), 0);
    EXPECT_TRUE(reports.failures.empty());
}

TEST(BackgroundWriter, ALiveProducerIsNeverHeldUpAndTheRowsItLosesAreCounted) {
    constexpr std::size_t kBound = 4;
    Gate gate;
    Reports reports;
    Writer writer(
        kBound, Writer::WhenFull::Drop, [&](std::vector<int>& b) { return gate.write(b); },
        [&](const Writer::Failure& f) { reports.add(f); });
    writer.post(0);
    gate.waitEntered();  // the writer holds item 0; four more fill the queue
    for (int i = 1; i <= 4; ++i) writer.post(i);
    EXPECT_FALSE(writer.failed());
    writer.post(5);  // beyond the bound: the writer is behind
    writer.post(6);
    EXPECT_TRUE(writer.failed());
    gate.open();
    writer.flush();
    EXPECT_EQ(gate.written, upTo(5)) << "what waited is written, in order";
    ASSERT_EQ(reports.failures.size(), 1u);
    EXPECT_TRUE(reports.failures[0].behind);
    EXPECT_EQ(reports.failures[0].lost, 2);
    writer.post(7);  // nothing more is taken
    writer.flush();
    EXPECT_EQ(writer.lost(), 3);
    EXPECT_EQ(reports.failures.size(), 1u);
}

TEST(BackgroundWriter, AFailedWriteIsReportedOnceWithEverythingNotWritten) {
    Gate gate;
    gate.failWrites = true;
    Reports reports;
    Writer writer(
        100, Writer::WhenFull::Wait, [&](std::vector<int>& b) { return gate.write(b); },
        [&](const Writer::Failure& f) { reports.add(f); });
    writer.post(0);
    gate.waitEntered();
    writer.post(1);
    writer.post(2);
    gate.open();
    writer.flush();
    writer.post(3);
    writer.flush();
    ASSERT_EQ(reports.failures.size(), 1u);
    EXPECT_FALSE(reports.failures[0].behind);
    EXPECT_EQ(reports.failures[0].lost, 3) << "the failed batch and what waited";
    EXPECT_EQ(writer.lost(), 4);
    EXPECT_TRUE(writer.failed());
}

}  // namespace
}  // namespace m797
