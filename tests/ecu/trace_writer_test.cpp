#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ecu/recording_line.h"
#include "ecu/serial_line.h"
#include "ecu/trace_writer.h"

namespace m797 {
namespace {

namespace fs = std::filesystem;
const std::string kProgram = "m797diag 1.1.0";

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A line that answers every request with its echo and two bytes.
class EchoLine : public SerialLine {
public:
    bool openPort() override { return true; }
    std::uint32_t exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                           std::uint32_t capacity) override {
        std::uint32_t n = 0;
        for (; n < length && n < capacity; ++n) answer[n] = request[n];
        for (std::uint8_t extra : {0xAA, 0x55})
            if (n < capacity) answer[n++] = extra;
        return n;
    }
    void sendWakeUpPulse() override {}
    void closePort() override {}
};

// A line whose first read is cut short after the echo; the rest comes with
// the continued read, as after "Стоп" and "Старт".
class CutOnceLine : public EchoLine {
public:
    std::uint32_t exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                           std::uint32_t capacity) override {
        const std::uint32_t n = EchoLine::exchange(request, length, answer, capacity);
        cut_ = n > length;
        return cut_ ? length : n;
    }
    bool lastReadInterrupted() const override { return cut_; }
    std::uint32_t continueRead(std::uint8_t* answer, std::uint32_t got, std::uint32_t capacity) override {
        cut_ = false;
        for (std::uint8_t extra : {0xAA, 0x55})
            if (got < capacity) answer[got++] = extra;
        return got;
    }

private:
    bool cut_ = false;
};

class TraceWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/m797-trace-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(TraceWriterTest, TheRecordingLineTracesEveryStepOfTheLine) {
    TraceWriter writer;
    const std::string path = (dir / "drive.trace").string();
    ASSERT_EQ(writer.open(path, kProgram), "");
    {
        RecordingLine line(std::make_unique<EchoLine>(), &writer);
        ASSERT_TRUE(line.openPort());
        line.sendWakeUpPulse();
        const std::uint8_t request[] = {0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
        std::uint8_t answer[140] = {};
        EXPECT_EQ(line.exchange(request, 6, answer, 140), 8u);
        EXPECT_EQ(line.exchange(request, 6, answer, 7), 7u);  // the read stops at the capacity
        EXPECT_GE(line.lastExchangeEndUs(), 0);
        line.closePort();
    }
    writer.close();
    const Trace trace = parseTrace(readAll(path), kProgram);
    EXPECT_EQ(trace.problemCount, 0);
    ASSERT_EQ(trace.records.size(), 5u);
    EXPECT_EQ(trace.records[0].kind, TraceKind::Open);
    EXPECT_EQ(trace.records[1].kind, TraceKind::WakeUp);
    EXPECT_EQ(trace.records[2].read, (std::vector<std::uint8_t>{0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5, 0xAA, 0x55}));
    EXPECT_EQ(trace.records[3].read.size(), 7u);
    EXPECT_EQ(trace.records[3].capacity, 7u);
    EXPECT_EQ(trace.records[4].kind, TraceKind::Close);
    EXPECT_GT(trace.startWallUs, 0);
    for (std::size_t i = 1; i < trace.records.size(); ++i)
        EXPECT_GE(trace.records[i].atUs, trace.records[i - 1].atUs);
}

TEST_F(TraceWriterTest, AReadCutShortIsTracedAsCutThenWhole) {
    TraceWriter writer;
    const std::string path = (dir / "drive.trace").string();
    ASSERT_EQ(writer.open(path, kProgram), "");
    const std::vector<std::uint8_t> request = {0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
    {
        RecordingLine line(std::make_unique<CutOnceLine>(), &writer);
        std::uint8_t answer[140] = {};
        ASSERT_EQ(line.exchange(request.data(), 6, answer, 140), 6u);
        ASSERT_TRUE(line.lastReadInterrupted());
        EXPECT_EQ(line.continueRead(answer, 6, 140), 8u);
        EXPECT_FALSE(line.lastReadInterrupted());
    }
    writer.close();
    const Trace trace = parseTrace(readAll(path), kProgram);
    ASSERT_EQ(trace.records.size(), 2u);
    EXPECT_TRUE(trace.records[0].cut);
    EXPECT_EQ(trace.records[0].read.size(), 6u);
    EXPECT_FALSE(trace.records[1].cut);
    EXPECT_EQ(trace.records[1].written, request);  // the request of the exchange it completes
    EXPECT_EQ(trace.records[1].read.size(), 8u);
}

TEST_F(TraceWriterTest, AnExistingFileIsKeptAndTheTraceGoesBesideIt) {
    const fs::path path = dir / "drive.trace";
    { std::ofstream(path) << "earlier"; }
    { std::ofstream(dir / "drive-2.trace") << "earlier too"; }
    TraceWriter writer;
    ASSERT_EQ(writer.open(path.string(), kProgram), "");
    EXPECT_EQ(writer.path(), (dir / "drive-3.trace").string());
    writer.begin(0);
    writer.close();
    EXPECT_EQ(readAll(path), "earlier");
    EXPECT_EQ(readAll(dir / "drive-3.trace").rfind("m797trace 1\n", 0), 0u);
}

TEST(TraceNames, NumberedNamesKeepTheExtension) {
    struct Case {
        const char* path;
        const char* second;
    };
    for (const Case c : {Case{"drive.trace", "drive-2.trace"}, Case{"/a/b.c/drive", "/a/b.c/drive-2"},
                         Case{"/tmp/log.csv", "/tmp/log-2.csv"}, Case{".hidden", ".hidden-2"}})
        EXPECT_EQ(numberedName(c.path, 2), c.second) << c.path;
}

TEST_F(TraceWriterTest, AFolderThatIsNotThereIsReportedAtOpen) {
    TraceWriter writer;
    const std::string message = writer.open((dir / "missing" / "drive.trace").string(), kProgram);
    EXPECT_NE(message.find("missing/drive.trace"), std::string::npos) << message;
}

// A full disk: the file may not grow past a few kilobytes. The recording
// stops with one message; the line goes on answering.
TEST_F(TraceWriterTest, AFullDiskStopsTheRecordingNotTheLine) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    TraceWriter writer;
    std::atomic<int> failures{0};
    std::string message;
    writer.setFailureHandler([&](const std::string& m) {
        message = m;
        ++failures;
    });
    ASSERT_EQ(writer.open((dir / "full.trace").string(), kProgram), "");
    RecordingLine line(std::make_unique<EchoLine>(), &writer);
    const std::uint8_t request[] = {0x82, 0x10, 0xF1, 0x21, 0x01, 0xA5};
    std::uint8_t answer[140] = {};
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(line.exchange(request, 6, answer, 140), 8u);
    writer.flush();
    EXPECT_TRUE(writer.failed());
    for (int i = 0; i < 100; ++i) ASSERT_EQ(line.exchange(request, 6, answer, 140), 8u);
    writer.close();
    setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_EQ(failures.load(), 1);
    EXPECT_NE(message.find("full.trace"), std::string::npos) << message;
    EXPECT_EQ(message, writer.error());
    EXPECT_LE(fs::file_size(dir / "full.trace"), 4096u);
    std::ifstream in(dir / "full.trace", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << "the file ends after its last whole record";
}

}  // namespace
}  // namespace m797
