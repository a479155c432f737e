#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/record/record_lock.h"
#include "app/shell/csv_log.h"
#include "ecu/live_data_decoder.h"
#include "ecu/value_text.h"
#include "tests/support/pipe_reader.h"

namespace m797 {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> splitCsvLine(const std::string& line) {
    std::vector<std::string> cells;
    std::string cell;
    std::istringstream in(line);
    while (std::getline(in, cell, ',')) cells.push_back(cell);
    if (!line.empty() && line.back() == ',') cells.emplace_back();
    return cells;
}

std::vector<std::string> readLines(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CsvLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/m797-csvlog-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    // A known answer pair decoded into the record with the given separator.
    void decodeKnownAnswer(char separator) {
        std::array<std::uint8_t, kLive01BufferSize> live01{};
        std::array<std::uint8_t, kLive03BufferSize> live03{};
        live03[21] = 0x03, live03[22] = 0xFF;  // ADC_2O2 4.995
        live03[16] = 0x80, live03[17] = 0x40;  // ADC_THR 2.505
        live01[23] = 4;                        // WKR -3.0
        live01[22] = 0x7F;                     // ZWOUT 95.3
        live01[46] = 0x80;                     // FSE 18859.3
        live01[19] = 20;                       // NMOT 800
        live01[58] = 0xFF, live01[59] = 0xFF;  // TIME 65535
        live01[74] = 0x01;                     // B_LL on, Byte1 00000001
        live01[64] = 0xA5;                     // EVSUP1
        live01[60] = 0xAB, live01[61] = 0x0C;  // CHKSUMFL
        live01[12] = 7;                        // N_ERR
        LiveDataDecoder decoder(separator);
        decoder.decode(live01.data(), live03.data(), RecordWriteLock(*record));
    }

    // Cells by column, the column named by its mnemonic (without its unit).
    std::map<std::string, std::string> rowByColumn(const std::vector<std::string>& lines, std::size_t row) {
        auto header = splitCsvLine(lines.at(0));
        for (std::string& name : header) name = name.substr(0, name.find(" ["));
        const auto cells = splitCsvLine(lines.at(row));
        EXPECT_EQ(cells.size(), header.size());
        std::map<std::string, std::string> m;
        for (std::size_t i = 0; i < header.size() && i < cells.size(); ++i) m[header[i]] = cells[i];
        return m;
    }

    fs::path dir;
    std::unique_ptr<LiveRecord> record = std::make_unique<LiveRecord>();
};

TEST_F(CsvLogTest, HeaderNamesEveryShownEntryByMnemonic) {
    const auto header = splitCsvLine(CsvLog::headerRow().substr(0, CsvLog::headerRow().size() - 1));
    ASSERT_EQ(header.size(), 2u + 70u);  // two times and 79 entries less the 9 reserved
    EXPECT_EQ(header[0], "time_s");
    EXPECT_EQ(header[1], "time");
    EXPECT_EQ(header[2], "ADC_2O2 [V]");
    EXPECT_EQ(header[6], "ADC_O2 [V]");
    EXPECT_EQ(header[7], "ADC_TANS [V]");  // 6 and 7 are reserved
    EXPECT_EQ(header[10], "ADC_EGR");      // its title names no unit
    EXPECT_EQ(header[11], "B_EKP");        // 12..14 reserved
    EXPECT_EQ(header.back(), "ZWOUT");
    // Units where the chart titles give them.
    for (const char* column : {"ADC_BAT [V]", "ADC_BS [g]", "NMOT [rpm]", "TMOT [°C]", "ML [kg/h]", "TI [ms]",
                               "USVK [mV]", "VFZG [km/h]", "VSKS [l/h]", "RL [%]", "TIME [min]", "MOMPOS [steps]"})
        EXPECT_NE(std::find(header.begin(), header.end(), column), header.end()) << column;
    for (const char* reserved :
         {"ADC_RINH", "ADC_RINV", "AHKAT", "ATV", "BSMW", "FHO", "NMOTLL", "TPSVKMF_U", "USHK"})
        EXPECT_EQ(std::find(header.begin(), header.end(), reserved), header.end()) << reserved;
    EXPECT_EQ(CsvLog::headerRow().back(), '\n');
}

TEST_F(CsvLogTest, RowFromAKnownAnswerUsesDecimalPointWhateverTheSeparator) {
    for (const char separator : {'.', ','}) {
        SCOPED_TRACE(separator);
        decodeKnownAnswer(separator);
        const fs::path path = dir / (separator == '.' ? "dot.csv" : "comma.csv");
        CsvLog log;
        ASSERT_EQ(log.open(path.string()), "");
        ASSERT_TRUE(log.isOpen());
        {
            const RecordLock held(*record);
            ASSERT_TRUE(log.writeRow(held, 1.5));
            ASSERT_TRUE(log.writeRow(held, 12.0625));
        }
        // Each row is on disk as soon as it is written, before close.
        const auto lines = readLines(path);
        ASSERT_EQ(lines.size(), 3u);
        auto row = rowByColumn(lines, 1);
        EXPECT_EQ(row["time_s"], "1.500");
        EXPECT_EQ(row["time"].size(), 24u);  // 2026-12-08T11:05:00.123Z
        EXPECT_EQ(row["time"].back(), 'Z');
        EXPECT_EQ(row["ADC_2O2"], "4.995");
        EXPECT_EQ(row["ADC_THR"], "2.505");
        EXPECT_EQ(row["WKR"], "-3.0");
        EXPECT_EQ(row["ZWOUT"], "95.3");
        EXPECT_EQ(row["FSE"], "18859.3");
        EXPECT_EQ(row["NMOT"], "800");
        EXPECT_EQ(row["TIME"], "65535");
        EXPECT_EQ(row["FZABG_1"], "0");
        EXPECT_EQ(row["B_LL"], "1");
        EXPECT_EQ(row["B_VL"], "0");
        // Bit fields and hex words as 0x hex: no reader takes them for decimals.
        EXPECT_EQ(row["Byte1"], "0x01");
        EXPECT_EQ(row["Byte3"], "0x00");
        EXPECT_EQ(row["EVSUP1"], "0xA5");
        EXPECT_EQ(row["CHKSUMFL"], "0xAB0C");
        EXPECT_EQ(row["N_ERR"], "7");
        EXPECT_EQ(rowByColumn(lines, 2)["time_s"], "12.063");  // tie away from zero
        for (const auto& [column, cell] : row) EXPECT_EQ(cell.find(','), std::string::npos) << column;
    }
}

// Under a real decimal-comma locale (where one is installed) the value texts
// take "," and the log still writes ".".
TEST_F(CsvLogTest, DecimalCommaLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const char* found = nullptr;
    for (const char* name : {"ru_RU.UTF-8", "ru_RU.utf8", "de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"})
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            found = name;
            break;
        }
    if (found == nullptr) GTEST_SKIP() << "no decimal-comma locale installed";
    ASSERT_EQ(localeDecimalPoint(), ',');
    decodeKnownAnswer(localeDecimalPoint());
    EXPECT_EQ(record->analog[slotOf(1).index].text, "4,995");
    const std::string row = CsvLog::formatRow(RecordLock(*record), 2.25);
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(row.rfind("2.250,1970-01-01T00:00:02.250Z,4.995,", 0), 0u) << row;
}

TEST(LocaleSeparator, CLocaleUsesPoint) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(localeDecimalPoint(), '.');
    std::setlocale(LC_NUMERIC, previous.c_str());
}

// One session per file: whatever an existing file holds (a log of other
// columns, an earlier session, a row cut short) it is left as it is and the
// log goes to the first free name beside it, saying so.
TEST_F(CsvLogTest, AnExistingFileIsNeverAppendedTo) {
    struct Case {
        const char* name;
        std::string before;
    };
    const std::vector<Case> cases = {
        {"other columns", "earlier,log\n1,2\n3,"},
        {"an earlier session", CsvLog::headerRow() + "0.100,1970-01-01T00:00:00.100Z,1\n"},
        {"a cut row", CsvLog::headerRow() + "0.100,1970,1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir / "drive.csv";
        { std::ofstream(path, std::ios::binary | std::ios::trunc) << c.before; }
        fs::remove(dir / "drive-2.csv");
        CsvLog log;
        ASSERT_EQ(log.open(path.string()), "");
        EXPECT_EQ(log.path(), (dir / "drive-2.csv").string());
        EXPECT_EQ(log.notice(), "«" + path.string() + "» уже есть; запись идёт в «" + log.path() + "»");
        {
            const RecordLock held(*record);
            ASSERT_TRUE(log.writeRow(held, 0.0));
        }
        log.close();
        EXPECT_EQ(readAll(path), c.before);
        const auto lines = readLines(dir / "drive-2.csv");
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0] + "\n", CsvLog::headerRow());
        EXPECT_EQ(lines[1].rfind("0.000,", 0), 0u);
    }
    // The next session takes the next free name.
    CsvLog third;
    ASSERT_EQ(third.open((dir / "drive.csv").string()), "");
    EXPECT_EQ(third.path(), (dir / "drive-3.csv").string());
}

TEST_F(CsvLogTest, AnEmptyFileGetsTheHeader) {
    const fs::path path = dir / "empty.csv";
    { std::ofstream(path, std::ios::binary); }
    CsvLog log;
    ASSERT_EQ(log.open(path.string()), "");
    EXPECT_EQ(log.path(), path.string());
    EXPECT_EQ(readAll(path), CsvLog::headerRow());
}

TEST_F(CsvLogTest, UnwritablePathIsReportedAtOpen) {
    const std::string paths[] = {(dir / "missing-folder" / "log.csv").string(), dir.string(), ""};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        CsvLog log;
        const std::string message = log.open(path);
        EXPECT_FALSE(message.empty());
        EXPECT_NE(message.find(path), std::string::npos);
        EXPECT_FALSE(log.isOpen());
        const RecordLock held(*record);
        EXPECT_FALSE(log.writeRow(held, 0.0));
    }
}

TEST_F(CsvLogTest, AFullDeviceIsAFailureNotASuccess) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    CsvLog log;
    EXPECT_FALSE(log.open("/dev/full").empty());  // the header cannot be written
    EXPECT_FALSE(log.isOpen());
    EXPECT_FALSE(log.error().empty());
}

// The cycle observer calls logCycle under the record's lock: it copies the
// row's values and goes on while the disk (here a pipe nobody reads yet) does
// not take them. The rows come out in order with the values of their cycle,
// byte for byte the rows formatRow makes.
TEST_F(CsvLogTest, TheCycleObserverNeverWaitsForTheDiskAndItsRowsKeepTheirCyclesValues) {
    decodeKnownAnswer('.');
    const fs::path path = dir / "pipe.csv";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    CsvLog log;
    ASSERT_EQ(log.open(path.string()), "");
    constexpr int kRows = 400;  // far more than a pipe holds
    std::vector<std::string> expected;
    auto cycles = std::async(std::launch::async, [&] {
        const RecordLock held(*record);
        for (int i = 0; i < kRows; ++i) {
            record->errorCount = static_cast<std::uint8_t>(i);
            record->analog[0].text = std::to_string(i) + ".5";
            if (!log.logCycle(held, true) || !log.logCycle(held, false)) return false;
            expected.push_back(CsvLog::formatRow(held, RowTime{}));
        }
        return true;
    });
    ASSERT_EQ(cycles.wait_for(std::chrono::seconds(20)), std::future_status::ready)
        << "logCycle waited for the disk";
    ASSERT_TRUE(cycles.get());

    auto drained = testing::readPipeToEnd(reader);
    log.close();  // every row handed over is written first; then the pipe ends
    const std::string text = drained.get();
    ::close(reader);
    std::vector<std::string> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 1u + kRows);
    EXPECT_EQ(rows[0] + "\n", CsvLog::headerRow());
    // The two times aside, each row is the one formatRow made in its cycle.
    auto afterTimes = [](const std::string& row) { return row.substr(row.find(',', row.find(',') + 1)); };
    for (int i = 0; i < kRows; ++i)
        ASSERT_EQ(afterTimes(rows[i + 1] + "\n"), afterTimes(expected[i])) << "row " << i;
}

// A live line is never held up: while the disk (a pipe nobody reads) takes
// nothing, rows beyond the bound are lost, the log stops and says so with
// the number lost, and every row that waited is written.
TEST_F(CsvLogTest, ADiskThatDoesNotKeepUpWithALiveLineStopsTheLogCountingTheRowsLost) {
    const fs::path path = dir / "slow.csv";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    CsvLog log;
    ASSERT_EQ(log.open(path.string()), "");
    std::string reported;
    log.setFailureHandler([&](const std::string& error) { reported = error; });
    // More than twice the bound: the writer, stuck in a full pipe, holds at
    // most one bound's worth, and as many wait.
    constexpr long kRows = 41000;
    bool stopped = false;
    {
        const RecordLock held(*record);
        for (long i = 0; i < kRows; ++i) stopped = !log.logCycle(held, true) || stopped;
    }
    EXPECT_TRUE(stopped);
    auto drained = testing::readPipeToEnd(reader);
    log.close();
    const std::string text = drained.get();
    ::close(reader);
    const long rows = std::count(text.begin(), text.end(), '\n') - 1;
    EXPECT_GT(log.lostRows(), 0);
    EXPECT_EQ(rows + log.lostRows(), kRows);
    EXPECT_EQ(reported, log.error());
    EXPECT_NE(reported.find("диск не успевал"), std::string::npos) << reported;
    EXPECT_NE(reported.find("потеряно строк: " + std::to_string(log.lostRows())), std::string::npos) << reported;
}

// A source that can wait (a replay) is held up while the disk (a pipe nobody
// reads yet) takes nothing, and loses no row. It waits before it takes the
// record's lock, so the lock stays free for the window meanwhile. The pipe is
// read once the producer has waited a while, so a writer that dropped rows
// instead of holding the producer up has dropped them by then.
TEST_F(CsvLogTest, ASourceThatCanWaitIsHeldUpAndLosesNoRow) {
    const fs::path path = dir / "replay.csv";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    CsvLog log;
    ASSERT_EQ(log.open(path.string()), "");
    log.letSourceWait(true);
    constexpr long kRows = 41000;  // over twice the rows a live line may leave waiting
    std::atomic<bool> produced{false};
    std::atomic<long> handedOver{0};
    auto producer = std::async(std::launch::async, [&] {
        bool logged = true;
        for (long i = 0; i < kRows; ++i) {  // as the acquisition thread does, cycle by cycle
            log.waitForRoom();
            const RecordLock held(*record);
            logged = log.logCycle(held, true) && logged;
            ++handedOver;
        }
        produced = true;
        return logged;
    });
    // Held up: nothing more is handed over for a while, and the lock is free.
    long before = -1;
    while (!produced && handedOver != before) {
        before = handedOver;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    EXPECT_FALSE(produced) << "the pipe is not read: the producer must be held up";
    bool lockFree = false;
    for (int i = 0; i < 100 && !lockFree; ++i) {
        lockFree = std::unique_lock(record->lock, std::try_to_lock).owns_lock();
        if (!lockFree) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(lockFree) << "held up under the record's lock";
    auto drained = testing::readPipeToEnd(reader);
    EXPECT_TRUE(producer.get());
    log.close();
    const std::string text = drained.get();
    ::close(reader);
    EXPECT_EQ(log.lostRows(), 0);
    EXPECT_EQ(log.error(), "");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + kRows);
}

}  // namespace
}  // namespace m797
