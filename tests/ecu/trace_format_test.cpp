#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ecu/trace_format.h"
#include "ecu/wall_time.h"

namespace m797 {
namespace {

const std::string kProgram = "m797diag 1.1.0";

TraceRecord exchange(std::int64_t at, std::vector<std::uint8_t> written, std::vector<std::uint8_t> read,
                     bool cut = false) {
    TraceRecord r;
    r.kind = TraceKind::Exchange;
    r.atUs = at;
    r.durationUs = 61234;
    r.capacity = 140;
    r.written = std::move(written);
    r.read = std::move(read);
    r.cut = cut;
    return r;
}

TraceRecord simple(TraceKind kind, std::int64_t at) {
    TraceRecord r;
    r.kind = kind;
    r.atUs = at;
    r.durationUs = 7;
    return r;
}

bool sameRecord(const TraceRecord& a, const TraceRecord& b) {
    return a.kind == b.kind && a.atUs == b.atUs && a.durationUs == b.durationUs && a.capacity == b.capacity &&
           a.written == b.written && a.read == b.read && a.cut == b.cut && a.ok == b.ok && a.error == b.error;
}

TEST(TraceFormat, EveryKindOfRecordReadsBackAsWritten) {
    std::vector<TraceRecord> records;
    TraceRecord failedOpen = simple(TraceKind::Open, 0);
    failedOpen.ok = false;
    failedOpen.error = 13;
    records.push_back(failedOpen);
    records.push_back(simple(TraceKind::Open, 5));
    records.push_back(simple(TraceKind::WakeUp, 100));
    records.push_back(exchange(51000, {0x81, 0x10, 0xF1, 0x81, 0x03},
                               {0x81, 0x10, 0xF1, 0x81, 0x03, 0x83, 0xF1, 0x10, 0xC1, 0xEF, 0x8F, 0xC3}));
    records.push_back(exchange(123456789, {0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5}, {}));
    records.push_back(exchange(123456790, {0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5}, {0x82, 0x10}, true));
    records.push_back(simple(TraceKind::Close, 999999999));
    const std::int64_t start = *parseIsoUtc("2026-12-08T11:05:00.123456Z");
    std::string text = traceHeader(kProgram, start);
    for (const TraceRecord& r : records) text += formatTraceRecord(r);

    const Trace trace = parseTrace(text, kProgram);
    EXPECT_EQ(trace.problemCount, 0) << (trace.problems.empty() ? "" : trace.problems[0].text);
    EXPECT_EQ(trace.formatVersion, kTraceFormatVersion);
    EXPECT_EQ(trace.program, kProgram);
    EXPECT_EQ(trace.startWallUs, start);
    ASSERT_EQ(trace.records.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) EXPECT_TRUE(sameRecord(trace.records[i], records[i])) << i;
    // The lines as a person and a script see them.
    EXPECT_EQ(formatTraceRecord(records[3]), "x 0.051000 0.061234 140 8110F18103 8110F1810383F110C1EF8FC3\n");
    EXPECT_EQ(formatTraceRecord(records[4]), "x 123.456789 0.061234 140 8210F12101A5 -\n");
    EXPECT_EQ(formatTraceRecord(records[0]), "o 0.000000 0.000007 fail 13\n");
    EXPECT_EQ(text.substr(0, text.find("line")),
              "m797trace 1\nprogram m797diag 1.1.0\nstart 2026-12-08T11:05:00.123456Z\n");
}

TEST(TraceFormat, ProblemsNameTheirLineAndTheRestIsRead) {
    const std::string head = "m797trace 1\nprogram m797diag 1.1.0\nstart 2026-12-08T11:05:00Z\n";
    const std::string good = "x 1.000000 0.050000 14 8110F18103 8110F18103\n";
    struct Case {
        std::string text;
        long line;
        std::string says;
        std::size_t records;
    };
    const std::vector<Case> cases = {
        {"m797trace 2\n" + good, 1, "trace format version 2", 1},
        {"m797trace 1\nprogram m797diag 0.9.0\n" + good, 2, "recorded by m797diag 0.9.0, this is m797diag 1.1.0",
         1},
        {head + good + "x 2.0 0.05 14 8110F18103 81ZZ\n" + good, 5, "damaged line (bad bytes read)", 2},
        {head + good + "x 2.0 0.05 14 8110F1810 -\n", 5, "damaged line (bad bytes written)", 1},
        {head + "q 1.0 2.0\n" + good, 4, "unknown record 'q'", 1},
        {head + "x 1.0\n" + good, 4, "too few fields", 1},
        {head + "x -1.0 0.05 14 81 81\n", 4, "bad time", 0},
        {head + "x 1.0 0.05 14 81 81 cut extra\n", 4, "too many fields", 0},
        {head + "o 0.0 0.0 maybe\n" + good, 4, "bad open result", 1},
        {head + "w 0.0 0.0 fast\n" + good, 4, "bad wake-up speed", 1},
        {head + "x 1.0 0.05 99999 81 81\n", 4, "bad byte count", 0},
        {head + "x 1.0 0.05 14 " + std::string(2 * (kMaxTraceBytes + 1), 'A') + " -\n", 4, "bad bytes written", 0},
        {head + good + "x 3.000000 0.05 14 8110F18103 81", 5, "last line cut off", 1},
        {head + "x 5.0 0.05 14 81 81\nx 4.0 0.05 14 81 81\n", 5, "time goes back", 2},
        {"x 1.0 0.05 14 81 81\n", 1, "no trace header", 1},
        {"m797trace one\n" + good, 1, "damaged trace header", 1},
        {"m797trace 1\nstart yesterday\n" + good, 2, "bad start time", 1},
        {"", 1, "empty trace", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 120));
        const Trace trace = parseTrace(c.text, kProgram);
        ASSERT_EQ(trace.problemCount, 1);
        EXPECT_EQ(trace.problems[0].line, c.line);
        EXPECT_NE(trace.problems[0].text.find(c.says), std::string::npos) << trace.problems[0].text;
        EXPECT_EQ(trace.records.size(), c.records);
    }
}

TEST(TraceFormat, CommentsBlankLinesAndWindowsLineEndsAreAccepted) {
    const Trace trace = parseTrace(
        "# made by hand\r\nm797trace 1\r\n\r\nline 10400 8N1\r\nx 0.5 0.05 14 8110f18103 -\r\n", kProgram);
    EXPECT_EQ(trace.problemCount, 0);
    ASSERT_EQ(trace.records.size(), 1u);
    EXPECT_EQ(trace.records[0].written, (std::vector<std::uint8_t>{0x81, 0x10, 0xF1, 0x81, 0x03}));
    EXPECT_EQ(trace.records[0].atUs, 500000);
}

TEST(TraceFormat, OnlyTheFirstHundredProblemsAreKeptButAllAreCounted) {
    std::string text = "m797trace 1\n";
    for (int i = 0; i < 250; ++i) text += "junk\n";
    const Trace trace = parseTrace(text, kProgram);
    EXPECT_EQ(trace.problemCount, 250);
    EXPECT_EQ(trace.problems.size(), kMaxTraceProblems);
}

TEST(WallTime, IsoTextsRoundTrip) {
    struct Case {
        std::int64_t us;
        int decimals;
        const char* text;
    };
    for (const Case& c : {Case{0, 3, "1970-01-01T00:00:00.000Z"}, Case{0, 0, "1970-01-01T00:00:00Z"},
                          Case{1796727900123456, 6, "2026-12-08T11:05:00.123456Z"},
                          Case{1796727900123456, 3, "2026-12-08T11:05:00.123Z"},
                          Case{1796727900999500, 3, "2026-12-08T11:05:01.000Z"},  // rounds into the next second
                          Case{951782400000000, 0, "2000-02-29T00:00:00Z"}}) {
        EXPECT_EQ(isoUtc(c.us, c.decimals), c.text);
        const auto back = parseIsoUtc(c.text);
        ASSERT_TRUE(back.has_value()) << c.text;
        EXPECT_EQ(isoUtc(*back, c.decimals), c.text);
    }
    for (const char* bad :
         {"", "2026-12-08", "2026-12-08T11:05:00", "2026-13-08T11:05:00Z", "2026-12-08T11:05:00.Z",
          "2026-12-08T11:05:00.1234567Z", "2026-12-08 11:05:00Z", "2026-12-08T11:05:0xZ"})
        EXPECT_FALSE(parseIsoUtc(bad).has_value()) << bad;
}

TEST(TraceFormat, DamagedBytesAreShownEscaped) {
    struct Case {
        std::string bytes, shown;
    };
    const std::vector<Case> cases = {
        {"x 1.0", "x 1.0"},
        {"\x1b[2J", "\\x1B[2J"},
        {"\x1b]0;title\x07", "\\x1B]0;title\\x07"},
        {"a\\b", "a\\\\b"},  // a backslash cannot pose as an escape
        {std::string("\x00\x7F\x9B\xD0\x9F", 5), "\\x00\\x7F\\x9B\\xD0\\x9F"},  // C1 controls, UTF-8 alike
    };
    for (const Case& c : cases) EXPECT_EQ(escapedTraceText(c.bytes), c.shown);
    const Trace t = parseTrace("m797trace 1\nprogram \x1b]0;evil\x07\n\x1b[2J 1 2\n", kProgram);
    ASSERT_EQ(t.problems.size(), 2u);
    for (const TraceProblem& p : t.problems)
        EXPECT_EQ(p.text.find_first_of("\x1b\x07"), std::string::npos) << p.text;
}

TEST(TraceFormat, ALineLongerThanAnyRecordIsLeftOutAndTheRestRead) {
    const std::string good = formatTraceRecord(exchange(1000, {0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5}, {0x82}));
    const std::string text = "m797trace 1\n" + std::string(kMaxTraceLineBytes + 10, 'x') + "\n" + good;
    const Trace t = parseTrace(text, kProgram);
    ASSERT_EQ(t.records.size(), 1u);
    ASSERT_EQ(t.problems.size(), 1u);
    EXPECT_EQ(t.problems[0].line, 2);
    EXPECT_EQ(t.problems[0].text, "damaged line (too long); left out");
}

class TraceFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/m797-tracefile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
    std::string dir;
};

// The file is read in pieces: the lines of a trace come out whole wherever
// a piece ends, as parseTrace reads them from one text.
TEST_F(TraceFileTest, AFileReadsAsItsTextParses) {
    std::string text = traceHeader(kProgram, 0);
    for (int i = 0; i < 5000; ++i)
        text += formatTraceRecord(exchange(i * 1000, {0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5}, {0x82, 0x10}));
    text += "x 9999.0 0.1 14 82";  // cut off
    const std::string path = dir + "/t.trace";
    std::ofstream(path, std::ios::binary) << text;
    Trace fromFile;
    std::string error;
    ASSERT_TRUE(readTraceFile(path, kProgram, fromFile, error)) << error;
    const Trace fromText = parseTrace(text, kProgram);
    ASSERT_EQ(fromFile.records.size(), fromText.records.size());
    for (std::size_t i = 0; i < fromText.records.size(); ++i)
        ASSERT_TRUE(sameRecord(fromFile.records[i], fromText.records[i])) << i;
    ASSERT_EQ(fromFile.problems.size(), 1u);
    EXPECT_EQ(fromFile.problems[0].text, fromText.problems[0].text);
    EXPECT_EQ(fromFile.problems[0].line, fromText.problems[0].line);
}

// /dev/zero is an endless line: it is refused as too large while the memory
// stays within a bound far below what holding it would take.
TEST_F(TraceFileTest, AnEndlessFileIsRefusedInBoundedMemory) {
    if (access("/dev/zero", R_OK) != 0) GTEST_SKIP() << "no /dev/zero";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = rlim_t{512} << 20;
        setrlimit(RLIMIT_AS, &limit);
        Trace trace;
        std::string error;
        const bool read = readTraceFile("/dev/zero", kProgram, trace, error);
        _exit(!read && error.find("/dev/zero") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(TraceFileTest, WaitingForAFifoNobodyWritesToStopsWhenAsked) {
    const std::string fifo = dir + "/nobody.trace";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<int> asked{0};
    Trace trace;
    std::string error;
    EXPECT_FALSE(readTraceFile(fifo, kProgram, trace, error, [&] { return ++asked > 3; }));
    EXPECT_NE(error.find("nobody.trace"), std::string::npos) << error;
}

}  // namespace
}  // namespace m797
