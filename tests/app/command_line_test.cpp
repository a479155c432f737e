#include <gtest/gtest.h>

#include <vector>

#include "app/command_line.h"

namespace m797 {
namespace {

CommandLine parse(std::vector<const char*> args) {
    args.insert(args.begin(), "m797diag");
    return parseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, DefaultsToTheFirstSerialPort) {
    const CommandLine c = parse({});
    EXPECT_EQ(c.port, "/dev/ttyS0");
    EXPECT_FALSE(c.simulate);
    EXPECT_FALSE(c.ignoreScreenWidth);
    EXPECT_TRUE(c.error.empty());
}

TEST(CommandLine, ReadsEveryOption) {
    const CommandLine c = parse({"--port", "/dev/ttyUSB0", "--simulate", "--ignore-screen-width", "--headless",
                                 "--cycles", "50", "--seconds", "2.5", "--log", "out.csv"});
    EXPECT_TRUE(c.error.empty()) << c.error;
    EXPECT_EQ(c.port, "/dev/ttyUSB0");
    EXPECT_TRUE(c.simulate && c.ignoreScreenWidth && c.headless);
    EXPECT_EQ(c.cycles, 50);
    EXPECT_DOUBLE_EQ(c.seconds, 2.5);
    EXPECT_EQ(c.logPath, "out.csv");
}

TEST(CommandLine, ReadsTheRecordAndReplayOptions) {
    const CommandLine rec = parse({"--simulate", "--record", "drive.trace"});
    EXPECT_TRUE(rec.error.empty()) << rec.error;
    EXPECT_EQ(rec.recordPath, "drive.trace");
    const CommandLine play = parse({"--replay", "drive.trace", "--speed", "0.25"});
    EXPECT_TRUE(play.error.empty()) << play.error;
    EXPECT_EQ(play.replayPath, "drive.trace");
    EXPECT_DOUBLE_EQ(play.speed, 0.25);
    EXPECT_DOUBLE_EQ(parse({"--replay", "t"}).speed, 1.0);
    EXPECT_DOUBLE_EQ(parse({"--replay", "t", "--speed", "16"}).speed, 16.0);
    EXPECT_DOUBLE_EQ(parse({"--headless", "--replay", "t", "--speed", "max"}).speed, 0.0);
    const std::vector<std::vector<const char*>> bad = {
        {"--replay", "t", "--speed", "0.2"},  {"--replay", "t", "--speed", "17"},
        {"--replay", "t", "--speed", "fast"}, {"--replay", "t", "--speed", "max"},  // max needs --headless
        {"--speed", "2"},                     {"--replay", "t", "--simulate"},
        {"--replay", "t", "--record", "u"},   {"--record"},
        {"--replay"}};
    for (const auto& args : bad) EXPECT_FALSE(parse(args).error.empty()) << args[0] << " " << args.size();
}

TEST(CommandLine, RejectsWhatItDoesNotUnderstand) {
    const std::vector<std::vector<const char*>> bad = {
        {"--bogus"}, {"--port"}, {"--cycles", "ten"}, {"--cycles", "-3"}, {"--seconds", "x"}, {"--log"}, {"extra"}};
    for (const auto& args : bad) EXPECT_FALSE(parse(args).error.empty()) << args[0];
}

TEST(CommandLine, UsageListsTheOptions) {
    const std::string usage = usageText("m797diag");
    for (const char* option : {"--port", "--simulate", "--ignore-screen-width", "--headless", "--log", "--record",
                               "--replay", "--speed", "--help",
                               "--version"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace m797
