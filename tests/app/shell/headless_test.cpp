#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/resource.h>

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/shell/command_line.h"
#include "app/shell/csv_log.h"
#include "app/shell/headless.h"
#include "tests/ecu/link_fixture.h"

namespace m797 {
namespace {

struct Captured {
    int status;
    std::string out, err;
};

std::string readAll(std::FILE* f) {
    std::rewind(f);
    std::string s;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
}

Captured runWith(const CommandLine& cl, sim::Fault fault = sim::Fault::None) {
    HeadlessOptions o;
    o.simulator = testing::fastSim(fault);
    o.timeouts = testing::kFastTimeouts;
    o.out = std::tmpfile();
    o.err = std::tmpfile();
    const int status = runHeadless(cl, o);
    return {status, readAll(o.out), readAll(o.err)};
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Headless, PollsTheGivenNumberOfCyclesAndEndsWithZero) {
    CommandLine cl;
    cl.headless = cl.simulate = true;
    cl.cycles = 5;
    const Captured r = runWith(cl);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "s] Установление связи.\n"));
    EXPECT_TRUE(has(r.out, "s] Данные получены.\n"));
    EXPECT_TRUE(has(r.out, "\nМодель автомобиля: XTA21703090012345\n"));
    EXPECT_TRUE(has(r.out, "\nДата изготовления: 14.03.2012\n"));
    EXPECT_TRUE(has(r.out, "poll cycles: 5, "));
    // The status is printed when it changes, not every cycle.
    std::size_t count = 0;
    for (std::size_t at = r.out.find("Данные получены."); at != std::string::npos;
         at = r.out.find("Данные получены.", at + 1))
        ++count;
    EXPECT_EQ(count, 1u);
}

TEST(Headless, EndsAfterTheGivenSeconds) {
    CommandLine cl;
    cl.headless = cl.simulate = true;
    cl.seconds = 0.5;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(runWith(cl).status, 0);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 3.0);
}

TEST(Headless, APortThatCannotBeOpenedEndsWithOneAndNamesTheDevice) {
    CommandLine cl;
    cl.headless = true;
    cl.port = "/dev/m797-no-such-adapter";
    const Captured r = runWith(cl);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.out, "Ошибка открытия порта!"));
    EXPECT_TRUE(has(r.err, "/dev/m797-no-such-adapter"));
    EXPECT_TRUE(has(r.err, "No such file or directory"));
}

// The port list of a failure reads a made-up /sys with no serial devices: the
// test machine's own devices do not matter.
TEST(Headless, FailuresOnASerialDeviceListTheSerialDevices) {
    char dir[] = "/tmp/m797-headless-ports-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    sim::KLineSimulator silent(testing::fastSim(sim::Fault::NoAdapter));
    ASSERT_TRUE(silent.start());
    struct Case {
        std::string port;
        int status;
    };
    for (const Case& c : {Case{"/dev/m797-no-such-adapter", 1}, Case{silent.slavePath(), 3}}) {
        CommandLine cl;
        cl.headless = true;
        cl.port = c.port;
        HeadlessOptions o;
        o.timeouts = testing::kFastTimeouts;
        o.out = std::tmpfile();
        o.err = std::tmpfile();
        o.deviceRoots = {std::string(dir) + "/dev", std::string(dir) + "/sys"};
        const int status = runHeadless(cl, o);
        readAll(o.out);
        const std::string err = readAll(o.err);
        EXPECT_EQ(status, c.status) << err;
        EXPECT_TRUE(has(err, "m797diag: serial devices on this machine:\nno serial devices found\n")) << err;
    }
    rmdir(dir);
}

TEST(Headless, LogsOneRowForEveryCycleWithLiveData) {
    char dir[] = "/tmp/m797-headless-log-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    CommandLine cl;
    cl.headless = cl.simulate = true;
    cl.cycles = 6;
    cl.logPath = std::string(dir) + "/live.csv";
    const Captured r = runWith(cl);
    EXPECT_EQ(r.status, 0) << r.err;
    std::FILE* f = std::fopen(cl.logPath.c_str(), "r");
    ASSERT_NE(f, nullptr);
    const std::string csv = readAll(f);
    EXPECT_EQ(csv.rfind("time_s,time,ADC_2O2 [V],", 0), 0u);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 6);
    std::remove(cl.logPath.c_str());
    rmdir(dir);
}

std::string fileText(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    return f ? readAll(f) : std::string();
}

// Through the simulated ELM327: the same identification, a log, and a
// recording whose replay writes the same log, row for row.
TEST(Headless, AnElm327SessionLogsRecordsAndReplaysLikeAPlainOne) {
    char dir[] = "/tmp/m797-headless-elm-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    CommandLine cl;
    cl.headless = cl.simulate = true;
    cl.adapter = AdapterKind::Elm327;
    cl.cycles = 8;
    cl.logPath = std::string(dir) + "/live.csv";
    cl.recordPath = std::string(dir) + "/drive.trace";
    const Captured r = runWith(cl);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "\nМодель автомобиля: XTA21703090012345\n"));
    EXPECT_TRUE(has(r.out, "cycles with data: 8, without: 0"));
    EXPECT_TRUE(has(r.out, "bad answers: none"));
    const std::string live = fileText(cl.logPath);
    EXPECT_EQ(std::count(live.begin(), live.end(), '\n'), 1 + 8);

    CommandLine play;
    play.headless = true;
    play.replayPath = cl.recordPath;
    play.speed = 0;
    play.logPath = std::string(dir) + "/replay.csv";
    const Captured p = runWith(play);
    EXPECT_EQ(p.status, 0) << p.err;
    EXPECT_EQ(fileText(play.logPath), live);
    for (const std::string& f : {cl.logPath, cl.recordPath, play.logPath}) std::remove(f.c_str());
    rmdir(dir);
}

TEST(Headless, ALogThatCannotBeWrittenEndsWithOneBeforeTheLinkStarts) {
    CommandLine cl;
    cl.headless = cl.simulate = true;
    cl.cycles = 3;
    cl.logPath = "/nonexistent-folder/live.csv";
    const Captured r = runWith(cl);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "/nonexistent-folder/live.csv"));
    EXPECT_FALSE(has(r.out, "Установление связи."));
}

TEST(Headless, GivingUpEndsWithThree) {
    struct Case {
        sim::Fault fault;
        const char* final;
    };
    for (const Case c : {Case{sim::Fault::NoAdapter, "Адаптер не подключен!"},
                         Case{sim::Fault::EchoOnly, "Адаптер не подключен!"},
                         Case{sim::Fault::OtherKeyBytes, "Контроллер не отвечает."}}) {
        CommandLine cl;
        cl.headless = cl.simulate = true;
        const Captured r = runWith(cl, c.fault);
        EXPECT_EQ(r.status, 3) << r.out;
        EXPECT_TRUE(has(r.out, c.final)) << r.out;
        EXPECT_TRUE(has(r.out, "poll cycles: 0, "));
    }
}

TEST(Headless, ARunWithoutLiveDataEndsWithThreeEvenBeforeTheGiveUp) {
    CommandLine cl;
    cl.headless = cl.simulate = true;
    cl.seconds = 0.3;  // far less than ten failed starts take
    const Captured r = runWith(cl, sim::Fault::NoAdapter);
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_FALSE(has(r.out, "Адаптер не подключен!"));
    EXPECT_TRUE(has(r.out, "\ncycles with data: 0, without: 0\n")) << r.out;
    EXPECT_TRUE(has(r.out, "\nbad answers: none\n")) << r.out;
}

TEST(Headless, TheSummaryCountsBadAnswersAndNegativeAnswersAreToldOnce) {
    CommandLine cl;
    cl.headless = cl.simulate = true;
    cl.cycles = 12;
    const Captured r = runWith(cl, sim::Fault::Negative);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(has(r.out, "negative answer to 21 01: response code 0x21")) << r.out;
    EXPECT_TRUE(has(r.err, "negative answer to 21 01: response code 0x21")) << r.err;
    const std::size_t first = r.out.find("negative answer to 21 01");
    EXPECT_EQ(r.out.find("negative answer to 21 01", first + 1), std::string::npos);
    EXPECT_TRUE(has(r.out, "\ncycles with data: ")) << r.out;
    EXPECT_TRUE(has(r.out, "\nbad answers: negative ")) << r.out;
}

TEST(Headless, ALogThatFillsUpEndsWithOneAfterTheLastWholeRow) {
    char dir[] = "/tmp/m797-headless-full-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    CommandLine cl;
    cl.headless = cl.simulate = true;
    cl.cycles = 200;
    cl.logPath = std::string(dir) + "/live.csv";
    // A file size limit stands in for a full disk: a write past it is cut
    // short, the next one fails with EFBIG.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = CsvLog::headerRow().size() + 1500;
    signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const Captured r = runWith(cl);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(has(r.err, cl.logPath)) << r.err;
    std::FILE* f = std::fopen(cl.logPath.c_str(), "r");
    ASSERT_NE(f, nullptr);
    const std::string csv = readAll(f);
    ASSERT_FALSE(csv.empty());
    EXPECT_EQ(csv.back(), '\n');
    const long columns = std::count(csv.begin(), csv.begin() + csv.find('\n'), ',');
    std::size_t rows = 0;
    for (std::size_t at = 0, end; (end = csv.find('\n', at)) != std::string::npos; at = end + 1, ++rows)
        EXPECT_EQ(std::count(csv.begin() + at, csv.begin() + end, ','), columns) << rows;
    EXPECT_GE(rows, 2u);
    std::remove(cl.logPath.c_str());
    rmdir(dir);
}

// A recording that cannot be written, from its first bytes or midway, ends
// the run with status 1, as a log that cannot be written does.
TEST(Headless, ALostRecordingEndsWithOne) {
    char dir[] = "/tmp/m797-headless-record-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    struct Case {
        const char* when;
        rlim_t fileSizeLimit;
    };
    for (const Case& c : {Case{"at the start", 20}, Case{"midway", 3000}}) {
        SCOPED_TRACE(c.when);
        CommandLine cl;
        cl.headless = cl.simulate = true;
        cl.cycles = 60;
        cl.recordPath = std::string(dir) + "/drive.trace";
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = c.fileSizeLimit;
        // The printing goes to memory, which the file size limit leaves alone.
        char *out = nullptr, *err = nullptr;
        std::size_t outSize = 0, errSize = 0;
        HeadlessOptions o;
        o.simulator = testing::fastSim();
        o.timeouts = testing::kFastTimeouts;
        o.out = open_memstream(&out, &outSize);
        o.err = open_memstream(&err, &errSize);
        signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const int status = runHeadless(cl, o);
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, SIG_DFL);
        std::fclose(o.out);
        std::fclose(o.err);
        const Captured r{status, std::string(out, outSize), std::string(err, errSize)};
        std::free(out);
        std::free(err);
        EXPECT_EQ(r.status, 1) << r.out << r.err;
        EXPECT_TRUE(has(r.err, "drive.trace")) << r.err;
        EXPECT_TRUE(has(r.out, "poll cycles: ")) << r.out;
        std::remove(cl.recordPath.c_str());
    }
    rmdir(dir);
}

TEST(Headless, SigintSigtermAndSighupEndTheRunCleanly) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        CommandLine cl;
        cl.headless = cl.simulate = true;
        const pthread_t runner = pthread_self();
        std::thread sender([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            pthread_kill(runner, signal);  // blocked there, so it waits for the run to take it
        });
        const Captured r = runWith(cl);
        sender.join();
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(has(r.out, "stopped by signal"));
        EXPECT_TRUE(has(r.out, "poll cycles: "));
    }
}

}  // namespace
}  // namespace m797
