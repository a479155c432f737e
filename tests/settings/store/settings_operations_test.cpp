// Start-up load, colour save and set loading against the settings file.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <sys/wait.h>
#include <unistd.h>

#include "settings/store/colour_scheme.h"
#include "settings/store/settings_operations.h"
#include "settings/store/settings_store.h"
#include "tests/settings/store/settings_test_support.h"

namespace m797 {
namespace {

using testing::readBytes;
using testing::RecordingReporter;
using testing::section;
using testing::TemporaryConfig;
using testing::writeBytes;

const std::string kColourKey = "\\TORVAL\\MANAGEMENT\\COLOUR_CIRCUIT";

class SettingsOperationsTest : public ::testing::Test {
protected:
    TemporaryConfig config;
    RecordingReporter reporter;
    std::unique_ptr<SettingsFile> file = std::make_unique<SettingsFile>(SettingsFile::defaultPath(), reporter);
    std::unique_ptr<LiveRecord> record = std::make_unique<LiveRecord>();

    // A new run of the program: a fresh record and a fresh view of the file.
    void restart() {
        record = std::make_unique<LiveRecord>();
        file = std::make_unique<SettingsFile>(SettingsFile::defaultPath(), reporter);
    }

    std::vector<int> stored(const std::string& key, const std::vector<std::string>& names) {
        SettingsStore store(*file);
        std::vector<int> out;
        if (!store.OpenStoreKey(key, false)) return out;
        for (const std::string& n : names) out.push_back(store.ReadStoreInteger(n));
        return out;
    }
    std::vector<int> storedColours() {
        return stored(kColourKey, std::vector<std::string>(kColourValueNames.begin(), kColourValueNames.end()));
    }
    std::vector<int> storedSet(int n) {
        return stored(parameterSetKey(n), {"diagram_1", "diagram_2", "diagram_3", "diagram_4", "diagram_5"});
    }
    std::vector<int> selected() const {
        return std::vector<int>(record->selectedParameters, record->selectedParameters + 5);
    }
    std::vector<float> colours() const {
        std::vector<float> out;
        for (const float* c : colourArrays(*record)) out.insert(out.end(), c, c + 4);
        return out;
    }
    void removeFromFile(const std::string& text) {
        std::string bytes = readBytes(config.file());
        const auto at = bytes.find(text);
        ASSERT_NE(at, std::string::npos) << text;
        writeBytes(config.file(), bytes.erase(at, text.size()));
    }
};

const std::vector<int> kStartupStored = {50, 40, 10, 40, 10, 99, 69, 69, 10, 40, 80, 50, 44, 99, 10, 99};

TEST_F(SettingsOperationsTest, FirstRunCreatesTheSetsAndExitStoresTruncatedDefaults) {
    LoadSettingsAtStart(*record, *file);
    for (int n = 1; n <= 12; ++n) EXPECT_EQ(storedSet(n), (std::vector<int>{1, 2, 3, 4, 5})) << "F" << n;
    EXPECT_EQ(stored("\\TORVAL\\DIAGRAM\\F", {"diagram_ok"}), std::vector<int>{1});
    EXPECT_EQ(selected(), (std::vector<int>{2, 3, 4, 5, 6}));
    EXPECT_FLOAT_EQ(record->gridColour[3], 0.4f);
    EXPECT_TRUE(storedColours().empty()) << "the colour key is first created at exit";

    SaveColourScheme(*record, *file);
    EXPECT_EQ(storedColours(), kStartupStored);
    EXPECT_TRUE(reporter.messages.empty());

    // The next run reads 0.69 and 0.44 and stores 68 and 43 for them.
    restart();
    LoadSettingsAtStart(*record, *file);
    SaveColourScheme(*record, *file);
    const std::vector<int> second = {50, 40, 10, 40, 10, 99, 68, 68, 10, 40, 80, 50, 43, 99, 10, 99};
    EXPECT_EQ(storedColours(), second);
}

struct RoundTripCase {
    int stored;
    int storedAgain;
};

class ColourRoundTrip : public SettingsOperationsTest, public ::testing::WithParamInterface<RoundTripCase> {};

// A stored 70 loads as the float 0.7 (0.6999999881) and truncates to 69.
TEST_P(ColourRoundTrip, LoadThenSaveTruncates) {
    std::vector<std::pair<std::string, int>> values;
    for (const char* n : kColourValueNames) values.emplace_back(n, GetParam().stored);
    writeBytes(config.file(), "REGEDIT4\n\n" + section(kColourKey, values));
    LoadSettingsAtStart(*record, *file);
    EXPECT_FLOAT_EQ(record->traceColour[2], static_cast<float>(GetParam().stored * 0.01L));
    SaveColourScheme(*record, *file);
    EXPECT_EQ(storedColours(), std::vector<int>(16, GetParam().storedAgain));
}

INSTANTIATE_TEST_SUITE_P(Values, ColourRoundTrip,
                         ::testing::Values(RoundTripCase{70, 69}, RoundTripCase{68, 68}, RoundTripCase{69, 68},
                                           RoundTripCase{44, 43}, RoundTripCase{50, 50}, RoundTripCase{0, 0},
                                           RoundTripCase{100, 100}, RoundTripCase{150, 150},
                                           RoundTripCase{-20, -20}));

TEST_F(SettingsOperationsTest, DeletedMarkerRewritesAllTwelveSets) {
    LoadSettingsAtStart(*record, *file);
    storeParameterSetRow(*file, 5, 3, 60);
    storeParameterSetRow(*file, 12, 1, 0);
    removeFromFile("[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM\\F]\n\"diagram_ok\"=dword:00000001\n");
    restart();
    LoadSettingsAtStart(*record, *file);
    EXPECT_EQ(storedSet(5), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(storedSet(12), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(stored("\\TORVAL\\DIAGRAM\\F", {"diagram_ok"}), std::vector<int>{1});
}

TEST_F(SettingsOperationsTest, MarkerWithoutF1LeavesTheChartsUnselected) {
    LoadSettingsAtStart(*record, *file);
    removeFromFile(
        section("\\TORVAL\\DIAGRAM\\F1",
                {{"diagram_1", 1}, {"diagram_2", 2}, {"diagram_3", 3}, {"diagram_4", 4}, {"diagram_5", 5}}));
    restart();
    LoadSettingsAtStart(*record, *file);
    EXPECT_EQ(selected(), std::vector<int>(5, 0));
    EXPECT_TRUE(storedSet(1).empty()) << "nothing is recreated while the marker exists";
    EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(SettingsOperationsTest, MissingColourValueStopsTheLoadWithColoursAtZero) {
    LoadSettingsAtStart(*record, *file);
    SaveColourScheme(*record, *file);
    removeFromFile("\"Text3_B\"=dword:00000050\n");
    restart();
    LoadSettingsAtStart(*record, *file);
    EXPECT_EQ(reporter.messages, std::vector<std::string>{"Failed to get data for 'Text3_B'"});
    EXPECT_EQ(colours(), std::vector<float>(16, 0.0f));
    EXPECT_EQ(selected(), std::vector<int>(5, 0)) << "the stop also skips set F1";
}

TEST_F(SettingsOperationsTest, ParameterSetButtonsReadTheStoredRows) {
    writeBytes(config.file(), "REGEDIT4\n\n" + section("\\TORVAL\\DIAGRAM\\F", {{"diagram_ok", 1}}) +
                                  section("\\TORVAL\\DIAGRAM\\F4", {{"diagram_1", 78},
                                                                    {"diagram_2", 0},
                                                                    {"diagram_3", 79},
                                                                    {"diagram_4", INT32_MAX},
                                                                    {"diagram_5", -1}}) +
                                  section("\\TORVAL\\DIAGRAM\\F6", {{"diagram_1", 30}, {"diagram_2", 31}}));
    LoadParameterSet(*record, *file, 4);
    EXPECT_EQ(selected(), (std::vector<int>{79, 1, 80, INT32_MIN, 0}));
    // Those outside 1..79 name no parameter: their charts draw no trace.
    for (int n : {80, INT32_MIN, 0}) EXPECT_EQ(slotOf(n).kind, SlotKind::None) << n;

    LoadParameterSet(*record, *file, 9);  // no such set: nothing changes
    EXPECT_EQ(selected(), (std::vector<int>{79, 1, 80, INT32_MIN, 0}));
    EXPECT_TRUE(reporter.messages.empty());

    LoadParameterSet(*record, *file, 6);  // stops at diagram_3, keeping the two before it
    EXPECT_EQ(selected(), (std::vector<int>{31, 32, 80, INT32_MIN, 0}));
    EXPECT_EQ(reporter.messages, std::vector<std::string>{"Failed to get data for 'diagram_3'"});
}

TEST_F(SettingsOperationsTest, DialogRowsAndTheirStorage) {
    EXPECT_FALSE(readParameterSetRows(*file, 5).opened);
    storeParameterSetRow(*file, 5, 3, 42);  // creates the key when it was missing
    const ParameterSetRows rows = readParameterSetRows(*file, 5);
    EXPECT_TRUE(rows.opened);
    EXPECT_EQ(rows.count, 0) << "diagram_1 is missing, so nothing is read";
    EXPECT_EQ(reporter.messages, std::vector<std::string>{"Failed to get data for 'diagram_1'"});
    EXPECT_EQ(stored(parameterSetKey(5), {"diagram_3"}), std::vector<int>{42});
}

TEST_F(SettingsOperationsTest, DamagedFileRunsLikeAFirstRunWithoutWriting) {
    const std::string damaged = "this is not a registry export\n";
    writeBytes(config.file(), damaged);
    LoadSettingsAtStart(*record, *file);
    EXPECT_EQ(selected(), (std::vector<int>{2, 3, 4, 5, 6}));
    EXPECT_FLOAT_EQ(record->nameTextColour[1], 0.99f);
    SaveColourScheme(*record, *file);
    storeParameterSetRow(*file, 2, 1, 55);
    LoadParameterSet(*record, *file, 2);
    EXPECT_EQ(record->selectedParameters[0], 56) << "edits hold for the rest of the run";
    EXPECT_EQ(readBytes(config.file()), damaged);
    EXPECT_EQ(reporter.messages.size(), 1u);
}

TEST_F(SettingsOperationsTest, WindowsExportIsAccepted) {
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\TORVAL]\r\n\r\n"
        "[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM]\r\n\r\n[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM\\F]\r\n"
        "\"diagram_ok\"=dword:00000001\r\n\r\n[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM\\F1]\r\n"
        "\"diagram_1\"=dword:0000000a\r\n\"diagram_2\"=dword:00000014\r\n\"diagram_3\"=dword:0000001e\r\n"
        "\"diagram_4\"=dword:00000028\r\n\"diagram_5\"=dword:0000004e\r\n\r\n"
        "[HKEY_CURRENT_USER\\TORVAL\\MANAGEMENT]\r\n\r\n[HKEY_CURRENT_USER\\TORVAL\\MANAGEMENT\\COLOUR_CIRCUIT]\r\n";
    for (const char* n : kColourValueNames) text += std::string("\"") + n + "\"=dword:00000019\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : text + "\r\n") {
        utf16 += c;
        utf16 += '\0';
    }
    writeBytes(config.file(), utf16);
    LoadSettingsAtStart(*record, *file);
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_EQ(selected(), (std::vector<int>{11, 21, 31, 41, 79}));
    EXPECT_EQ(colours(), std::vector<float>(16, 0.25f));
    EXPECT_EQ(readBytes(config.file()), utf16) << "loading writes nothing";
    SaveColourScheme(*record, *file);
    EXPECT_EQ(readBytes(config.file()).rfind("REGEDIT4\n\n", 0), 0u) << "rewritten in the program's own format";
    EXPECT_EQ(storedSet(1), (std::vector<int>{10, 20, 30, 40, 78}));
}

// Each operation reads the file and writes it at most once, however many
// values it stores: the save-stage seam sees every write of the file.
struct WriteCountCase {
    const char* name;
    std::function<void(LiveRecord&, SettingsFile&)> operation;
    int writes;
};

class OperationWrites : public SettingsOperationsTest, public ::testing::WithParamInterface<WriteCountCase> {};

TEST_P(OperationWrites, OneOperationIsAtMostOneWriteOfTheFile) {
    const bool firstStart = std::string(GetParam().name) == "firstStart";
    if (!firstStart) LoadSettingsAtStart(*record, *file);
    int halfWritten = 0, renamed = 0;
    file->saveStageHook = [&](SettingsFile::SaveStage stage) {
        ++(stage == SettingsFile::SaveStage::BeforeRename ? renamed : halfWritten);
    };
    GetParam().operation(*record, *file);
    EXPECT_EQ(renamed, GetParam().writes);
    EXPECT_EQ(halfWritten, GetParam().writes);
    EXPECT_TRUE(reporter.messages.empty()) << reporter.messages[0];
}

INSTANTIATE_TEST_SUITE_P(
    Operations, OperationWrites,
    ::testing::Values(
        WriteCountCase{"firstStart", [](LiveRecord& r, SettingsFile& f) { LoadSettingsAtStart(r, f); }, 1},
        WriteCountCase{"laterStart", [](LiveRecord& r, SettingsFile& f) { LoadSettingsAtStart(r, f); }, 0},
        WriteCountCase{"colourSave", [](LiveRecord& r, SettingsFile& f) { SaveColourScheme(r, f); }, 1},
        WriteCountCase{"setButton", [](LiveRecord& r, SettingsFile& f) { LoadParameterSet(r, f, 7); }, 0},
        WriteCountCase{"dialogSetRead", [](LiveRecord&, SettingsFile& f) { readParameterSetRows(f, 3); }, 0},
        WriteCountCase{"dialogEditOfAMissingSet",
                       [](LiveRecord&, SettingsFile& f) { storeParameterSetRow(f, 13, 2, 9); }, 1}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(SettingsOperationsTest, AFirstStartIsOneWriteThatHoldsEverySetAndTheMarker) {
    std::vector<std::string> seen;
    file->saveStageHook = [&](SettingsFile::SaveStage stage) {
        if (stage == SettingsFile::SaveStage::BeforeRename) seen.push_back(readBytes(config.file()));
    };
    LoadSettingsAtStart(*record, *file);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "") << "nothing reaches the file before the one rename";
    for (int n = 1; n <= 12; ++n) EXPECT_EQ(storedSet(n), (std::vector<int>{1, 2, 3, 4, 5})) << "F" << n;
    EXPECT_EQ(stored("\\TORVAL\\DIAGRAM\\F", {"diagram_ok"}), std::vector<int>{1});
}

// The writes before a read that stops the operation are still stored, with
// the one write at its end; the message of the stop comes after.
TEST_F(SettingsOperationsTest, AStoppedFirstStartStillStoresItsSets) {
    writeBytes(config.file(), "REGEDIT4\n\n" + section("\\TORVAL\\MANAGEMENT\\COLOUR_CIRCUIT", {{"GRID_R", 50}}));
    int renamed = 0;
    file->saveStageHook = [&](SettingsFile::SaveStage stage) {
        renamed += stage == SettingsFile::SaveStage::BeforeRename;
    };
    LoadSettingsAtStart(*record, *file);
    EXPECT_EQ(renamed, 1);
    EXPECT_EQ(reporter.messages, std::vector<std::string>{"Failed to get data for 'GRID_G'"});
    EXPECT_EQ(storedSet(12), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(stored(kColourKey, {"GRID_R"}), std::vector<int>{50});
}

TEST_F(SettingsOperationsTest, AnUnwritableFolderFailsAnOperationOnceNamingItsFirstValue) {
    writeBytes(config.folder() + "/m797diag", "not a folder");
    LoadSettingsAtStart(*record, *file);
    SaveColourScheme(*record, *file);
    EXPECT_EQ(reporter.messages,
              (std::vector<std::string>{"Failed to set data for 'diagram_1'", "Failed to set data for 'GRID_R'"}));
    EXPECT_EQ(storedColours(), kStartupStored) << "this run still sees what it tried to store";
    EXPECT_EQ(storedSet(4), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(readBytes(config.folder() + "/m797diag"), "not a folder");
}

// Two programs saving colours and editing sets at the same time: every
// operation lands whole and none undoes the other's.
TEST_F(SettingsOperationsTest, TwoRunningProgramsKeepEachOthersOperations) {
    LoadSettingsAtStart(*record, *file);
    constexpr int kRounds = 30;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            RecordingReporter quiet;
            SettingsFile own(SettingsFile::defaultPath(), quiet);
            auto mine = std::make_unique<LiveRecord>();
            for (int i = 0; i < kRounds; ++i) {
                if (c == 0) {
                    mine->traceColour[0] = static_cast<float>(i) / 100.0f + 0.001f;
                    SaveColourScheme(*mine, own);
                } else {
                    storeParameterSetRow(own, 9, i % 5 + 1, 100 + i);
                }
            }
            ::_exit(quiet.messages.empty() ? 0 : 1);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(stored(kColourKey, {"GRAPHIC_R"}), std::vector<int>{kRounds - 1});
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(storedSet(9)[n - 1], 100 + kRounds - 6 + n);
    EXPECT_EQ(storedSet(3), (std::vector<int>{1, 2, 3, 4, 5}));
}

}  // namespace
}  // namespace m797
