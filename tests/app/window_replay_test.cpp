// A replay in the main window: "Старт" plays the trace through the window's
// own acquisition thread and log; at its end the status strip says
// "Конец записи." and there is nothing more to start or stop.
#include <gtest/gtest.h>
#include <unistd.h>
#include <memory>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "app/main_window.h"
#include "app/shell/csv_log.h"
#include "app/shell/link_source.h"
#include "tests/ecu/link_fixture.h"
#include "tests/support/spin_until.h"

namespace m797 {
namespace {

using m797::testing::spinUntil;

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(WindowReplay, StartPlaysTheTraceToItsEnd) {
    char pattern[] = "/tmp/m797-window-replay-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const std::string trace = (dir / "drive.trace").string();
    {
        LinkSource live;
        ASSERT_EQ(live.start(true, "", testing::fastSim()), std::nullopt);
        ASSERT_EQ(live.startRecording(trace), std::nullopt);
        std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
        LiveRecord& record = *ownedRecord;
        CsvLog log;
        ASSERT_EQ(log.open((dir / "live.csv").string()), "");
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

}  // namespace
}  // namespace m797
