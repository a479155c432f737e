// A replay in the main window: "Старт" plays the trace through the window's
// own acquisition thread and log; at its end the status strip says
// "Конец записи." and there is nothing more to start or stop.
#include <gtest/gtest.h>
#include <unistd.h>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>

#include "app/main_window.h"
#include "app/shell/csv_log.h"
#include "app/shell/link_source.h"
#include "ecu/trace_format.h"
#include "tests/ecu/link_fixture.h"
#include "tests/support/long_drive.h"
#include "tests/support/pipe_reader.h"
#include "tests/support/spin_until.h"

namespace m797 {
namespace {

using m797::testing::spinUntil;

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A short drive against the simulator, recorded to `trace` and logged live to `csv`.
void recordDrive(const std::string& trace, const std::string& csv) {
    LinkSource live;
    ASSERT_EQ(live.start(true, "", testing::fastSim()), std::nullopt);
    ASSERT_EQ(live.startRecording(trace), std::nullopt);
    std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
    LiveRecord& record = *ownedRecord;
    CsvLog log;
    ASSERT_EQ(log.open(csv), "");
    Com_Port port(record, live.makeLine(testing::kFastTimeouts), '.');
    log.useClock(live.lineClock());
    std::atomic<long> cycles{0};
    port.setCycleObserver([&](const RecordLock& held, bool got) {
        log.logCycle(held, got);
        ++cycles;
    });
    port.resume();
    ASSERT_TRUE(testing::waitFor([&] { return cycles >= 12; }));
    port.terminate();
    live.recorder()->close();
}

TEST(WindowReplay, StartPlaysTheTraceToItsEnd) {
    char pattern[] = "/tmp/m797-window-replay-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const std::string trace = (dir / "drive.trace").string();
    recordDrive(trace, (dir / "live.csv").string());

    LinkSource replay;
    ASSERT_EQ(replay.startReplay(trace, 2.0), std::nullopt);
    StartOptions o;
    o.ignoreScreenWidth = true;
    o.makeLine = [&replay] { return replay.makeLine(); };
    o.lineClock = [&replay] { return replay.lineClock(); };
    o.logPath = (dir / "replay.csv").string();
    {
        TForm1 window(std::move(o));
        window.SpeedButton1Click();
        ASSERT_TRUE(spinUntil(
            [&] { return !window.speedButton(1)->isEnabled() && !window.speedButton(2)->isEnabled(); }, 30000));
        EXPECT_FALSE(window.displayClock()->isActive());
        std::lock_guard guard(window.record().lock);
        EXPECT_EQ(testing::utf8(window.record().statusText), "Конец записи.");
        EXPECT_EQ(window.record().identText[9], "LADA-21");
    }
    EXPECT_EQ(readAll(dir / "replay.csv"), readAll(dir / "live.csv"));
    fs::remove_all(dir);
}

// A replay's log that falls behind (a pipe nobody reads for a while) holds
// the replay up, not the window: the record's lock, which every frame of the
// display takes, stays free, and once the pipe is read every row arrives.
TEST(WindowReplay, ALogThatFallsBehindHoldsUpTheReplayNotTheWindow) {
    // More than the log holds while its pipe takes nothing: the rows waiting
    // for the writer and those it is stuck with.
    constexpr long kCycles = 45000;
    char pattern[] = "/tmp/m797-window-replay-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const std::string shortTrace = (dir / "short.trace").string();
    recordDrive(shortTrace, (dir / "live.csv").string());
    const std::string trace = (dir / "long.trace").string();
    std::ofstream(trace, std::ios::binary)
        << testing::longDrive(readAll(shortTrace), programVersion(), kCycles, 20, 5);
    const fs::path pipe = dir / "log.csv";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);

    LinkSource replay;
    ASSERT_EQ(replay.startReplay(trace, 16.0), std::nullopt);
    StartOptions o;
    o.ignoreScreenWidth = true;
    o.makeLine = [&replay] { return replay.makeLine(); };
    o.lineClock = [&replay] { return replay.lineClock(); };
    o.logPath = pipe.string();
    o.logSourceCanWait = true;
    std::future<std::string> drained;
    long withData = 0;
    {
        TForm1 window(std::move(o));
        window.SpeedButton1Click();
        // Held up: no cycle for a while.
        long before = -1;
        ASSERT_TRUE(spinUntil(
            [&] {
                const long now = window.acquisitionThread()->pollCycles();
                const bool still = now == before && now > 0 && now < kCycles;  // stopped before the end
                before = now;
                if (!still) QTest::qWait(300);
                return still;
            },
            60000));
        bool lockFree = false;
        for (int i = 0; i < 100 && !lockFree; ++i) {
            lockFree = std::unique_lock(window.record().lock, std::try_to_lock).owns_lock();
            if (!lockFree) QTest::qWait(10);
        }
        EXPECT_TRUE(lockFree) << "the replay waits for the log under the record's lock";
        drained = testing::readPipeToEnd(reader);
        ASSERT_TRUE(spinUntil(
            [&] { return !window.speedButton(1)->isEnabled() && !window.speedButton(2)->isEnabled(); }, 60000));
        withData = window.acquisitionThread()->cyclesWithData();
    }  // the log is closed: the reader sees its end
    const std::string text = drained.get();
    ::close(reader);
    EXPECT_GE(withData, kCycles);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + withData);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace m797
