// A session recorded against the simulator and played back: the same cycles
// decoded, the same CSV, whatever the pace and however often it is paused.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>

#include <csignal>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/record/live_record.h"
#include "app/shell/command_line.h"
#include "app/shell/csv_log.h"
#include "app/shell/headless.h"
#include "app/shell/link_source.h"
#include "ecu/com_port.h"
#include "ecu/link_status.h"
#include "tests/ecu/link_fixture.h"
#include "tests/support/long_drive.h"

namespace m797 {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> cells(const std::string& line) {
    std::vector<std::string> out;
    std::string cell;
    std::istringstream in(line);
    while (std::getline(in, cell, ',')) out.push_back(cell);
    return out;
}

// Everything the decoder wrote in one cycle, plus whether the cycle counted.
std::string fingerprint(const RecordLock& held, bool gotLiveData) {
    const LiveRecord& r = held.record();
    std::ostringstream out;
    out << gotLiveData << '|' << CsvLog::formatRow(held, RowTime{}) << '|' << r.statusText;
    for (const AnalogSlot& s : r.analog) out << '|' << s.value << ' ' << s.plot;
    for (const CounterSlot& s : r.counter) out << '|' << s.plot;
    for (const FlagSlot& s : r.flag) out << '|' << s.plot;
    for (const Text& t : r.identText) out << '|' << t;
    return out.str();
}

// One session, live or replayed: Com_Port on the line the source makes,
// logging to `csvPath`, keeping every cycle's fingerprint.
struct Session {
    Session(LinkSource& source, const std::string& csvPath) {
        EXPECT_EQ(log.open(csvPath), "");
        port = std::make_unique<Com_Port>(record, source.makeLine(testing::kFastTimeouts), '.');
        log.useClock(source.lineClock());
        port->setCycleObserver([this](const RecordLock& held, bool got) {
            EXPECT_TRUE(log.logCycle(held, got));
            std::lock_guard guard(mutex);
            cycles.push_back(fingerprint(held, got));
        });
        port->setEndOfLineHandler([this] { ended = true; });
        port->setStatusObserver([this](const LinkEvent& event) {
            if (event.status == LinkStatus::EndOfRecording) sawEndText = true;
        });
    }
    long cycleCount() {
        std::lock_guard guard(mutex);
        return static_cast<long>(cycles.size());
    }

    std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
    LiveRecord& record = *ownedRecord;
    CsvLog log;
    std::unique_ptr<Com_Port> port;
    std::mutex mutex;
    std::vector<std::string> cycles;
    std::atomic<bool> ended{false};
    std::atomic<bool> sawEndText{false};
};

// Checks what pandas and PlotJuggler need: one header, as many cells in every
// row, time_s rising, a wall-clock time, numbers or 0x hex in every cell.
void expectToolReadableCsv(const std::string& text) {
    const auto rows = lines(text);
    ASSERT_GE(rows.size(), 2u);
    const auto header = cells(rows[0]);
    EXPECT_EQ(header[0], "time_s");
    EXPECT_EQ(header[1], "time");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(rows.size()));
    double lastTime = -1;
    std::string lastWall;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].substr(0, 60));
        const auto row = cells(rows[i]);
        ASSERT_EQ(row.size(), header.size());
        EXPECT_NE(rows[i].rfind("time_s", 0), 0u);  // no second header
        const double t = std::stod(row[0]);
        EXPECT_GT(t, lastTime);
        lastTime = t;
        EXPECT_EQ(row[1].size(), 24u);
        EXPECT_EQ(row[1].back(), 'Z');
        EXPECT_GE(row[1], lastWall);
        lastWall = row[1];
        for (std::size_t c = 2; c < row.size(); ++c) {
            const std::string& v = row[c];
            if (v.rfind("0x", 0) == 0) {
                EXPECT_EQ(v.find_first_not_of("0123456789ABCDEF", 2), std::string::npos) << header[c];
                continue;
            }
            std::size_t used = 0;
            std::stod(v, &used);
            EXPECT_EQ(used, v.size()) << header[c] << " = " << v;
        }
    }
}

class SessionReplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/m797-replay-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Records `cycles` poll cycles against the simulator, logging them live.
    void recordLive(long cycles) {
        LinkSource source;
        ASSERT_EQ(source.start(true, "", testing::fastSim()), std::nullopt);
        ASSERT_EQ(source.startRecording(tracePath()), std::nullopt);
        Session live(source, (dir / "live.csv").string());
        live.port->resume();
        ASSERT_TRUE(testing::waitFor([&] { return live.cycleCount() >= cycles; }, 20000));
        live.port->terminate();
        source.recorder()->close();
        liveCycles = live.cycles;
    }

    // Plays the trace back; `duringPlay` runs while it plays.
    std::vector<std::string> replay(double speed, const std::string& csv,
                                    const std::function<void(Session&)>& duringPlay = {}) {
        LinkSource source;
        EXPECT_EQ(source.startReplay(tracePath(), speed), std::nullopt);
        EXPECT_EQ(source.replayTrace()->problemCount, 0);
        Session replayed(source, (dir / csv).string());
        replayed.port->resume();
        if (duringPlay) duringPlay(replayed);
        EXPECT_TRUE(testing::waitFor([&] { return replayed.ended.load(); }, 30000));
        EXPECT_TRUE(replayed.sawEndText);
        replayed.port->terminate();
        return replayed.cycles;
    }

    std::string tracePath() const { return (dir / "drive.trace").string(); }

    fs::path dir;
    std::vector<std::string> liveCycles;
};

TEST_F(SessionReplayTest, AReplayDecodesEveryCycleAsLiveAndWritesTheSameCsv) {
    recordLive(40);
    ASSERT_GE(liveCycles.size(), 40u);
    const auto replayed = replay(0.0, "replay.csv");
    ASSERT_EQ(replayed.size(), liveCycles.size());
    for (std::size_t i = 0; i < replayed.size(); ++i) ASSERT_EQ(replayed[i], liveCycles[i]) << "cycle " << i;
    const std::string liveCsv = readAll(dir / "live.csv");
    EXPECT_EQ(readAll(dir / "replay.csv"), liveCsv);
    expectToolReadableCsv(liveCsv);
}

// A "Стоп" longer than the control unit keeps a session: the live link
// connects again before it polls, and the trace holds that connection. The
// replay passes over it and gives the same cycles and the same CSV.
TEST_F(SessionReplayTest, ATraceRecordedAcrossALongStopReplaysToTheSameCsv) {
    {
        LinkSource source;
        ASSERT_EQ(source.start(true, "", testing::fastSim()), std::nullopt);
        ASSERT_EQ(source.startRecording(tracePath()), std::nullopt);
        Session live(source, (dir / "live.csv").string());
        std::atomic<int> connections{0};
        live.port->setConnectionObserver([&](const Com_Port::Identification&) { ++connections; });
        live.port->resume();
        ASSERT_TRUE(testing::waitFor([&] { return live.cycleCount() >= 10; }, 20000));
        live.port->suspend();
        std::this_thread::sleep_for(std::chrono::milliseconds(4500));  // the session lapses
        const long before = live.cycleCount();
        live.port->resume();
        ASSERT_TRUE(testing::waitFor([&] { return live.cycleCount() >= before + 10; }, 20000));
        live.port->terminate();
        source.recorder()->close();
        EXPECT_GE(connections.load(), 2) << "connected again after the long stop";
        liveCycles = live.cycles;
    }
    const auto replayed = replay(0.0, "replay.csv");
    ASSERT_EQ(replayed.size(), liveCycles.size());
    for (std::size_t i = 0; i < replayed.size(); ++i) ASSERT_EQ(replayed[i], liveCycles[i]) << "cycle " << i;
    EXPECT_EQ(readAll(dir / "replay.csv"), readAll(dir / "live.csv"));
}

// The trace times stretched so that the drive lasts about a second.
void stretchTrace(const std::string& path, std::int64_t stepUs) {
    Trace trace = parseTrace(readAll(path), programVersion());
    std::string text = traceHeader(trace.program, trace.startWallUs);
    for (std::size_t i = 0; i < trace.records.size(); ++i) {
        trace.records[i].atUs = static_cast<std::int64_t>(i) * stepUs;
        trace.records[i].durationUs = stepUs / 2;
        text += formatTraceRecord(trace.records[i]);
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

TEST_F(SessionReplayTest, PauseHoldsTheReplayAndLosesNothing) {
    recordLive(30);
    stretchTrace(tracePath(), 15000);
    const auto normal = replay(1.0, "paused.csv", [](Session& s) {
        ASSERT_TRUE(testing::waitFor([&] { return s.cycleCount() >= 5; }));
        s.port->suspend();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const long held = s.cycleCount();
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        EXPECT_EQ(s.cycleCount(), held);  // nothing plays while paused
        EXPECT_FALSE(s.ended);
        s.port->resume();
    });
    ASSERT_EQ(normal.size(), liveCycles.size());
    for (std::size_t i = 0; i < normal.size(); ++i) ASSERT_EQ(normal[i], liveCycles[i]) << "cycle " << i;
    // The stretched trace has times of its own: the same as a replay without pause.
    replay(0.0, "unpaused.csv");
    EXPECT_EQ(readAll(dir / "paused.csv"), readAll(dir / "unpaused.csv"));
}

TEST_F(SessionReplayTest, TheSpeedSetsThePace) {
    recordLive(20);
    stretchTrace(tracePath(), 10000);
    const std::size_t records = parseTrace(readAll(tracePath()), programVersion()).records.size();
    const double span = static_cast<double>(records) * 0.010;
    auto timed = [&](double speed, const char* csv) {
        const auto t0 = Clock::now();
        EXPECT_EQ(replay(speed, csv).size(), liveCycles.size());
        return std::chrono::duration<double>(Clock::now() - t0).count();
    };
    const double normal = timed(1.0, "x1.csv");
    const double fast = timed(4.0, "x4.csv");
    EXPECT_GE(normal, span * 0.9);
    EXPECT_GE(fast, span / 4 * 0.9);
    EXPECT_LT(fast, normal * 0.6);
}

struct Captured {
    int status;
    std::string out, err;
};

std::string readStream(std::FILE* f) {
    std::rewind(f);
    std::string s;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
    std::fclose(f);
    return s;
}

Captured headless(const CommandLine& cl) {
    HeadlessOptions o;
    o.simulator = testing::fastSim();
    o.timeouts = testing::kFastTimeouts;
    o.out = std::tmpfile();
    o.err = std::tmpfile();
    const int status = runHeadless(cl, o);
    return {status, readStream(o.out), readStream(o.err)};
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(SessionReplayTest, HeadlessRecordThenReplayAtMaxSpeedEndsWithZeroAndTheSameCsv) {
    CommandLine live;
    live.headless = live.simulate = true;
    live.cycles = 25;
    live.recordPath = tracePath();
    live.logPath = (dir / "live.csv").string();
    const Captured recorded = headless(live);
    ASSERT_EQ(recorded.status, 0) << recorded.err;

    CommandLine play;
    play.headless = true;
    play.replayPath = tracePath();
    play.speed = 0.0;
    play.logPath = (dir / "replay.csv").string();
    const Captured replayed = headless(play);
    EXPECT_EQ(replayed.status, 0) << replayed.err;
    EXPECT_TRUE(has(replayed.out, "s] Конец записи.\n")) << replayed.out;
    EXPECT_TRUE(has(replayed.out, "Модель автомобиля: XTA21703090012345\n"));
    EXPECT_EQ(replayed.err, "");
    EXPECT_EQ(readAll(dir / "replay.csv"), readAll(dir / "live.csv"));
}

TEST_F(SessionReplayTest, ADamagedTraceIsReportedByLineAndTheRestPlays) {
    CommandLine live;
    live.headless = live.simulate = true;
    live.cycles = 25;
    live.recordPath = tracePath();
    ASSERT_EQ(headless(live).status, 0);

    auto text = lines(readAll(tracePath()));
    ASSERT_GT(text.size(), 40u);
    text[29] = "x 12.0 0.05 140 8210F12101A5 82ZZ";  // line 30
    text[30] = "\x1b[2J\x1b]0;title\x07 1.0 0.1";    // line 31: would clear the terminal, set its title
    text[0] = "m797trace 7";                         // a later format
    std::string damaged;
    for (const auto& l : text) damaged += l + "\n";
    damaged.resize(damaged.size() - 12);  // the last line cut off
    std::ofstream(tracePath(), std::ios::binary | std::ios::trunc) << damaged;

    CommandLine play;
    play.headless = true;
    play.replayPath = tracePath();
    play.speed = 0.0;
    play.logPath = (dir / "replay.csv").string();
    const Captured r = headless(play);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.err, "drive.trace line 1: trace format version 7")) << r.err;
    EXPECT_TRUE(has(r.err, "drive.trace line 30: damaged line")) << r.err;
    EXPECT_TRUE(has(r.err, "drive.trace line 31: damaged line (unknown record '\\x1B[2J\\x1B]0;title\\x07')"))
        << r.err;
    EXPECT_EQ(r.err.find_first_of("\x1b\x07"), std::string::npos) << "control bytes reach the terminal";
    EXPECT_TRUE(has(r.err, "drive.trace line " + std::to_string(text.size()) + ": last line cut off")) << r.err;
    EXPECT_TRUE(has(r.out, "Конец записи.")) << r.out;
    const auto rows = lines(readAll(dir / "replay.csv"));
    EXPECT_GE(rows.size(), 20u);  // the rest played
    expectToolReadableCsv(readAll(dir / "replay.csv"));
}

// The recorded session with its last 21 01 / 21 03 pair repeated `cycles`
// times, 150 ms apart: a long drive.
long countOf(const std::string& text, char c) { return std::count(text.begin(), text.end(), c); }

// A replay produces rows far faster than they are formatted: it waits for
// the log's writer, so the log holds every cycle with data.
TEST_F(SessionReplayTest, ALongReplayAtMaxSpeedLogsEveryCycleWithData) {
    CommandLine live;
    live.headless = live.simulate = true;
    live.cycles = 10;
    live.recordPath = (dir / "short.trace").string();
    ASSERT_EQ(headless(live).status, 0);
    constexpr long kCycles = 60000;
    std::ofstream(tracePath(), std::ios::binary)
        << testing::longDrive(readAll(dir / "short.trace"), programVersion(), kCycles, 150000);

    CommandLine play;
    play.headless = true;
    play.replayPath = tracePath();
    play.speed = 0.0;
    play.logPath = (dir / "long.csv").string();
    const Captured r = headless(play);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::size_t at = r.out.find("cycles with data: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const long withData = std::stol(r.out.substr(at + 18));
    EXPECT_GE(withData, kCycles);
    EXPECT_EQ(countOf(readAll(dir / "long.csv"), '\n'), 1 + withData);
}

// One session per file: converting the same trace twice into one name
// leaves the first log as it was and writes the second beside it.
TEST_F(SessionReplayTest, ASecondRunToOneLogNameWritesBesideItSayingSo) {
    CommandLine live;
    live.headless = live.simulate = true;
    live.cycles = 8;
    live.recordPath = tracePath();
    ASSERT_EQ(headless(live).status, 0);
    CommandLine play;
    play.headless = true;
    play.replayPath = tracePath();
    play.speed = 0.0;
    play.logPath = (dir / "drive.csv").string();
    ASSERT_EQ(headless(play).status, 0);
    const std::string first = readAll(dir / "drive.csv");
    const Captured again = headless(play);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.err, "m797diag: «" + play.logPath + "» уже есть; запись идёт в «" +
                             (dir / "drive-2.csv").string() + "»\n");
    EXPECT_EQ(readAll(dir / "drive.csv"), first);
    EXPECT_EQ(readAll(dir / "drive-2.csv"), first);
}

// A FIFO that nobody writes to is waited for, and Ctrl+C, kill or a closed
// terminal end the wait.
TEST_F(SessionReplayTest, AReplayOfAFifoNobodyWritesToEndsOnAStopSignal) {
    const std::string fifo = (dir / "nobody.trace").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        CommandLine play;
        play.headless = true;
        play.replayPath = fifo;
        const pthread_t runner = pthread_self();
        std::thread sender([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            pthread_kill(runner, signal);  // blocked there: it waits for the run to take it
        });
        const Captured r = headless(play);
        sender.join();
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(has(r.err, "nobody.trace")) << r.err;
    }
}

TEST_F(SessionReplayTest, HostileFilesEndCleanly) {
    struct Case {
        const char* name;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"empty", ""},
        {"csv", "time_s,time\n1,2\n"},
        {"binary", std::string("\x00\xFF\x81\n\x10", 5)},
        {"requests only", "m797trace 1\nx 0.1 0.1 14 8110F18103 -\nx 0.2 0.1 14 8110F18103 -\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(tracePath(), std::ios::binary | std::ios::trunc) << c.text;
        CommandLine play;
        play.headless = true;
        play.replayPath = tracePath();
        play.speed = 0.0;
        const Captured r = headless(play);
        EXPECT_EQ(r.status, kHeadlessGaveUp) << r.err;  // it ends, but no live data was in it
        EXPECT_TRUE(has(r.out, "Конец записи.")) << r.out;
    }
    CommandLine missing;
    missing.headless = true;
    missing.replayPath = (dir / "no-such.trace").string();
    const Captured r = headless(missing);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "no-such.trace")) << r.err;
}

}  // namespace
}  // namespace m797
