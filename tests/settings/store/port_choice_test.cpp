// The port chosen on the "Com Port" page: kept with the other settings, read
// back, and a file that has none or a foreign one loads as no choice.
#include <gtest/gtest.h>

#include "settings/store/port_choice.h"
#include "settings/store/settings_operations.h"
#include "tests/settings/store/settings_test_support.h"

namespace m797 {
namespace {

using testing::readBytes;
using testing::RecordingReporter;
using testing::TemporaryConfig;
using testing::writeBytes;

class PortChoiceTest : public ::testing::Test {
protected:
    TemporaryConfig config;
    RecordingReporter reporter;
    SettingsFile file{SettingsFile::defaultPath(), reporter};
};

TEST_F(PortChoiceTest, StoredBesideTheOtherSettingsAndReadBack) {
    SaveColourScheme(*std::make_unique<LiveRecord>(), file);
    const std::string before = readBytes(config.file());
    const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_\"odd\\name\"-if00-port0";
    ASSERT_TRUE(storePortChoice(file, {byId}));
    EXPECT_EQ(readPortChoice(file).device, byId);
    // A fresh run reads the same; the colours are still there.
    SettingsFile later(SettingsFile::defaultPath(), reporter);
    EXPECT_EQ(readPortChoice(later).device, byId);
    const std::string after = readBytes(config.file());
    EXPECT_NE(after.find("[HKEY_CURRENT_USER\\TORVAL\\MANAGEMENT\\COLOUR_CIRCUIT]"), std::string::npos);
    EXPECT_NE(after.find("\"Port\"=\"/dev/serial/by-id/usb-FTDI_FT232R_\\\"odd\\\\name\\\"-if00-port0\""),
              std::string::npos)
        << after;
    ASSERT_TRUE(storePortChoice(file, {"SIM"}));
    EXPECT_EQ(readPortChoice(file).device, "SIM");
    EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(PortChoiceTest, FilesWithoutAUsableChoiceLoadAsNoChoice) {
    std::string parameterSets = "[HKEY_CURRENT_USER\\TORVAL\\DIAGRAM\\F1]\n";
    for (int chart = 1; chart <= 5; ++chart)
        parameterSets += "\"diagram_" + std::to_string(chart) + "\"=dword:00000003\n";
    const std::pair<const char*, std::string> files[] = {
        {"no file", ""},
        {"an older file", "REGEDIT4\n\n" + parameterSets},
        {"a Windows export with a number there",
         "REGEDIT4\n\n[HKEY_CURRENT_USER\\TORVAL\\MANAGEMENT\\COM_PORT]\n\"Port\"=dword:00000001\n"},
        {"binary data", "REGEDIT4\n\n[HKEY_CURRENT_USER\\TORVAL\\MANAGEMENT\\COM_PORT]\n\"Port\"=hex:41,42\n"},
    };
    for (const auto& [what, contents] : files) {
        std::filesystem::remove(config.file());
        if (!contents.empty()) writeBytes(config.file(), contents);
        EXPECT_EQ(readPortChoice(file), PortChoice{}) << what;
    }
    EXPECT_TRUE(reporter.messages.empty());
    // The older file's sets are still read as before.
    writeBytes(config.file(), files[1].second);
    const auto record = std::make_unique<LiveRecord>();
    LoadParameterSet(*record, file, 1);
    EXPECT_EQ(record->selectedParameters[0], 4);  // row 3 is parameter 4
}

// The adapter kind sits beside the port; choosing a port keeps it, and only
// the two known kinds are stored or read.
TEST_F(PortChoiceTest, TheAdapterKindIsKeptBesideThePort) {
    ASSERT_TRUE(storePortChoice(file, {"/dev/rfcomm0", "elm327"}));
    SettingsFile later(SettingsFile::defaultPath(), reporter);
    EXPECT_EQ(readPortChoice(later), (PortChoice{"/dev/rfcomm0", "elm327"}));
    EXPECT_NE(readBytes(config.file()).find("\"Adapter\"=\"elm327\""), std::string::npos);
    ASSERT_TRUE(storePortChoice(file, {"/dev/ttyUSB0"}));  // no kind given: the stored one stays
    EXPECT_EQ(readPortChoice(file), (PortChoice{"/dev/ttyUSB0", "elm327"}));
    EXPECT_FALSE(storePortChoice(file, {"/dev/ttyUSB0", "elm"}));
    for (const char* stored : {"\"Adapter\"=\"ELM 327\"", "\"Adapter\"=dword:00000001"}) {
        writeBytes(config.file(), std::string("REGEDIT4\n\n[HKEY_CURRENT_USER\\TORVAL\\MANAGEMENT\\COM_PORT]\n") +
                                      "\"Port\"=\"SIM\"\n" + stored + "\n");
        EXPECT_EQ(readPortChoice(file), (PortChoice{"SIM", ""})) << stored;
    }
    EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(PortChoiceTest, ATextWithALineEndIsNeitherStoredNorRead) {
    EXPECT_FALSE(storePortChoice(file, {"/dev/ttyUSB0\n[HKEY_CURRENT_USER\\X]"}));
    EXPECT_EQ(readPortChoice(file), PortChoice{});
}

}  // namespace
}  // namespace m797
