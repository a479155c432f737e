// The store over the file: registry semantics, the three messages, and that
// nothing is lost: atomic replace, the writer lock, a damaged file left alone.
#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include "settings/store/settings_store.h"
#include "tests/settings/store/settings_test_support.h"

namespace m797 {
namespace {

using testing::readBytes;
using testing::RecordingReporter;
using testing::section;
using testing::TemporaryConfig;
using testing::writeBytes;

class SettingsFileTest : public ::testing::Test {
protected:
    TemporaryConfig config;
    RecordingReporter reporter;
    SettingsFile file{SettingsFile::defaultPath(), reporter};

    // Reads one value through a fresh store, as an operation would.
    std::string readOutcome(const std::string& key, const std::string& name) {
        SettingsStore store(file);
        if (!store.OpenStoreKey(key, false)) return "no key";
        try {
            return std::to_string(store.ReadStoreInteger(name));
        } catch (const SettingsStoreError& e) {
            return e.what();
        }
    }
};

TEST_F(SettingsFileTest, PathFollowsXdgConfigHome) {
    EXPECT_EQ(SettingsFile::defaultPath(), config.file());
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsFile::defaultPath(), std::string(std::getenv("HOME")) + "/.config/m797diag/user.reg");
}

TEST_F(SettingsFileTest, OpeningDoesNotCreateAndCreatingMakesAnEmptyKey) {
    SettingsStore store(file);
    EXPECT_FALSE(store.OpenStoreKey("\\TORVAL\\DIAGRAM\\F", false));
    EXPECT_FALSE(::access(config.file().c_str(), F_OK) == 0) << "opening must not write";
    ASSERT_TRUE(store.OpenStoreKey("\\TORVAL\\DIAGRAM\\F", true));
    EXPECT_EQ(readBytes(config.file()),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\TORVAL]\n\n[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM]\n\n"
              "[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM\\F]\n\n");
    SettingsStore later(file);
    EXPECT_TRUE(later.OpenStoreKey("\\TORVAL\\DIAGRAM\\F", false));
    EXPECT_FALSE(later.OpenStoreKey("\\TORVAL\\DIAGRAM\\F1", false));
    EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(SettingsFileTest, WriteReachesTheDiskAtOnceInExportFormat) {
    SettingsStore store(file);
    ASSERT_TRUE(store.OpenStoreKey("\\TORVAL\\DIAGRAM\\F1", true));
    store.WriteStoreInteger("diagram_1", 1);
    store.WriteStoreInteger("diagram_2", -1);
    EXPECT_EQ(readBytes(config.file()),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\TORVAL]\n\n[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM]\n\n"
              "[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM\\F1]\n\"diagram_1\"=dword:00000001\n"
              "\"diagram_2\"=dword:ffffffff\n\n");
    EXPECT_EQ(readOutcome("\\TORVAL\\DIAGRAM\\F1", "diagram_2"), "-1");
}

TEST_F(SettingsFileTest, OneKeyOpenAtATimeAndRelativePaths) {
    SettingsStore store(file);
    ASSERT_TRUE(store.OpenStoreKey("\\TORVAL\\A", true));
    ASSERT_TRUE(store.OpenStoreKey("B", true));  // below the open key
    EXPECT_EQ(store.currentKey(), "HKEY_CURRENT_USER\\TORVAL\\A\\B");
    EXPECT_FALSE(store.OpenStoreKey("\\TORVAL\\\\C", true));  // a malformed path opens nothing...
    EXPECT_EQ(store.currentKey(), "");                        // ...and the previous key is closed
    store.WriteStoreInteger("x", 1);
    EXPECT_EQ(reporter.messages, std::vector<std::string>{"Failed to set data for 'x'"});
}

struct ReadCase {
    const char* name;
    const char* line;     // the value's line in the key
    const char* outcome;  // the integer read, or the message
};

class StoreRead : public SettingsFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(StoreRead, GivesTheIntegerOrTheRegistryMessage) {
    writeBytes(config.file(),
               std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\TORVAL\\K]\n") + GetParam().line + "\n");
    EXPECT_EQ(readOutcome("\\TORVAL\\K", "v"), GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Types, StoreRead,
    ::testing::Values(ReadCase{"dword", "\"v\"=dword:0000004e", "78"},
                      ReadCase{"nameCase", "\"V\"=dword:00000002", "2"},
                      ReadCase{"negative", "\"v\"=dword:80000000", "-2147483648"},
                      ReadCase{"missing", "\"w\"=dword:00000001", "Failed to get data for 'v'"},
                      ReadCase{"shortString", "\"v\"=\"70\"", "Invalid data type for 'v'"},
                      ReadCase{"longString", "\"v\"=\"seventy\"", "Failed to get data for 'v'"},
                      ReadCase{"fourBytesBinary", "\"v\"=hex:46,00,00,00", "Invalid data type for 'v'"},
                      ReadCase{"qword", "\"v\"=hex(b):46,00,00,00,00,00,00,00", "Failed to get data for 'v'"},
                      ReadCase{"defaultOnly", "@=dword:00000001", "Failed to get data for 'v'"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(SettingsFileTest, KeepsWhatItDoesNotKnowWhenItRewrites) {
    const std::string original =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\TORVAL\\OTHER]\r\n\"note\"=\"x\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM\\F2]\r\n\"extra\"=hex:01\r\n\"diagram_1\"=dword:00000007\r\n";
    writeBytes(config.file(), original);
    SettingsStore store(file);
    ASSERT_TRUE(store.OpenStoreKey("\\TORVAL\\DIAGRAM\\F2", false));
    store.WriteStoreInteger("diagram_1", 9);
    const std::string now = readBytes(config.file());
    EXPECT_NE(now.find("[HKEY_CURRENT_USER\\TORVAL\\OTHER]\n\"note\"=\"x\"\n"), std::string::npos) << now;
    EXPECT_NE(now.find("\"extra\"=hex:01\n\"diagram_1\"=dword:00000009\n"), std::string::npos) << now;
}

TEST_F(SettingsFileTest, DamagedFileIsNeverWrittenAndIsReportedOnce) {
    const std::string damaged = "REGEDIT4\n\n[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM\\F1]\n\"diagram_1\"=dwrd:1\n";
    writeBytes(config.file(), damaged);
    SettingsStore store(file);
    EXPECT_FALSE(store.OpenStoreKey("\\TORVAL\\DIAGRAM\\F1", false));  // as if missing
    ASSERT_TRUE(store.OpenStoreKey("\\TORVAL\\DIAGRAM\\F1", true));    // this run only
    store.WriteStoreInteger("diagram_1", 5);
    EXPECT_EQ(readOutcome("\\TORVAL\\DIAGRAM\\F1", "diagram_1"), "5");
    EXPECT_EQ(readBytes(config.file()), damaged);
    ASSERT_EQ(reporter.messages.size(), 1u);
    EXPECT_NE(reporter.messages[0].find(config.file()), std::string::npos);
    EXPECT_NE(reporter.messages[0].find("Файл настроек"), std::string::npos);
    EXPECT_TRUE(file.memoryOnly());
}

TEST_F(SettingsFileTest, EmptyFileCountsAsNoSettings) {
    writeBytes(config.file(), "");
    SettingsStore store(file);
    EXPECT_FALSE(store.OpenStoreKey("\\TORVAL", false));
    ASSERT_TRUE(store.OpenStoreKey("\\TORVAL", true));
    store.WriteStoreInteger("v", 3);
    EXPECT_EQ(readOutcome("\\TORVAL", "v"), "3");
    EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(SettingsFileTest, UnwritableFolderFailsWritesOnceAndTheRunGoesOn) {
    // A plain file where the folder should be: no write can succeed, even as root.
    writeBytes(config.folder() + "/m797diag", "not a folder");
    SettingsStore store(file);
    ASSERT_TRUE(store.OpenStoreKey("\\TORVAL\\MANAGEMENT\\COLOUR_CIRCUIT", true));
    store.WriteStoreInteger("GRID_R", 50);
    store.WriteStoreInteger("GRID_G", 40);
    EXPECT_EQ(reporter.messages, std::vector<std::string>{"Failed to set data for 'GRID_R'"});
    // This run still sees what it tried to store.
    EXPECT_EQ(readOutcome("\\TORVAL\\MANAGEMENT\\COLOUR_CIRCUIT", "GRID_G"), "40");
    EXPECT_EQ(readBytes(config.folder() + "/m797diag"), "not a folder");
}

TEST_F(SettingsFileTest, WriterThatNeverReleasesTheLockFailsTheWriteInsteadOfHanging) {
    writeBytes(config.file(), "REGEDIT4\n\n");
    const int held = ::open((config.file() + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    SettingsStore store(file);
    ASSERT_TRUE(store.OpenStoreKey("\\TORVAL", true));
    store.WriteStoreInteger("v", 1);
    EXPECT_EQ(reporter.messages, std::vector<std::string>{"Failed to set data for 'v'"});
    EXPECT_EQ(readBytes(config.file()), "REGEDIT4\n\n");
    ::close(held);
    store.WriteStoreInteger("w", 2);
    EXPECT_NE(readBytes(config.file()).find("\"w\"=dword:00000002"), std::string::npos);
}

// A child that dies at a given stage of a save; the file must hold the old
// contents or the new ones, and the next writer clears the leftovers.
void saveAndDie(SettingsFile::SaveStage stage) {
    RecordingReporter quiet;
    SettingsFile child(SettingsFile::defaultPath(), quiet);
    child.saveStageHook = [stage](SettingsFile::SaveStage now) {
        if (now == stage) ::raise(SIGKILL);
    };
    SettingsStore store(child);
    if (store.OpenStoreKey("\\TORVAL\\DIAGRAM\\F1", false)) store.WriteStoreInteger("diagram_1", 77);
    ::_exit(0);
}

class KilledWriter : public SettingsFileTest, public ::testing::WithParamInterface<SettingsFile::SaveStage> {};

TEST_P(KilledWriter, LeavesTheOldFileWhole) {
    const std::string old = "REGEDIT4\n\n" + section("\\TORVAL\\DIAGRAM\\F1", {{"diagram_1", 1}});
    writeBytes(config.file(), old);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) saveAndDie(GetParam());
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(readBytes(config.file()), old);

    SettingsStore store(file);
    ASSERT_TRUE(store.OpenStoreKey("\\TORVAL\\DIAGRAM\\F1", false));
    store.WriteStoreInteger("diagram_2", 2);
    EXPECT_EQ(readOutcome("\\TORVAL\\DIAGRAM\\F1", "diagram_2"), "2");
    for (const auto& entry : std::filesystem::directory_iterator(config.folder() + "/m797diag"))
        EXPECT_EQ(entry.path().filename().string().find("tmp"), std::string::npos)
            << "a temporary file was left behind: " << entry.path();
}

INSTANTIATE_TEST_SUITE_P(Stages, KilledWriter,
                         ::testing::Values(SettingsFile::SaveStage::TemporaryHalfWritten,
                                           SettingsFile::SaveStage::BeforeRename));

TEST_F(SettingsFileTest, WriterKilledAtRandomMomentsLeavesAWholeFile) {
    writeBytes(config.file(), "REGEDIT4\n\n" + section("\\TORVAL\\DIAGRAM\\F1", {{"diagram_1", 0}}));
    for (int round = 0; round < 5; ++round) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            RecordingReporter quiet;
            SettingsFile child(SettingsFile::defaultPath(), quiet);
            SettingsStore store(child);
            store.OpenStoreKey("\\TORVAL\\DIAGRAM\\F1", true);
            for (int i = 1;; ++i) store.WriteStoreInteger("diagram_1", i);
        }
        ::usleep(20000 + 7000 * round);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        RecordingReporter fresh;
        SettingsFile reader(SettingsFile::defaultPath(), fresh);
        SettingsStore store(reader);
        ASSERT_TRUE(store.OpenStoreKey("\\TORVAL\\DIAGRAM\\F1", false));
        EXPECT_GE(store.ReadStoreInteger("diagram_1"), 0);
        EXPECT_TRUE(fresh.messages.empty()) << fresh.messages[0];
    }
}

TEST_F(SettingsFileTest, TwoRunningProgramsKeepEachOthersWrites) {
    constexpr int kRounds = 40;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            RecordingReporter quiet;
            SettingsFile own(SettingsFile::defaultPath(), quiet);
            SettingsStore store(own);
            store.OpenStoreKey(c == 0 ? "\\TORVAL\\DIAGRAM\\F3" : "\\TORVAL\\DIAGRAM\\F9", true);
            for (int i = 0; i < kRounds; ++i)
                store.WriteStoreInteger("diagram_" + std::to_string(i % 5 + 1), c * 100 + i);
            ::_exit(quiet.messages.empty() ? 0 : 1);
        }
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int n = 1; n <= 5; ++n) {
        const std::string name = "diagram_" + std::to_string(n);
        EXPECT_EQ(readOutcome("\\TORVAL\\DIAGRAM\\F3", name), std::to_string(kRounds - 6 + n));
        EXPECT_EQ(readOutcome("\\TORVAL\\DIAGRAM\\F9", name), std::to_string(100 + kRounds - 6 + n));
    }
}

}  // namespace
}  // namespace m797
