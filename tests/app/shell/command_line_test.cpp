#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/shell/command_line.h"

namespace m797 {
namespace {

CommandLine parse(std::vector<const char*> args) {
    args.insert(args.begin(), "m797diag");
    return parseCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLine, DefaultsToTheFirstSerialPort) {
    const CommandLine c = parse({});
    EXPECT_EQ(c.port, "/dev/ttyS0");
    EXPECT_FALSE(c.portGiven);
    EXPECT_FALSE(c.simulate);
    EXPECT_FALSE(c.ignoreScreenWidth);
    EXPECT_FALSE(c.listPorts);
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

struct Accepted {
    std::vector<const char*> args;
    std::function<bool(const CommandLine&)> holds;
};

TEST(CommandLine, AcceptsTheUsualSpellings) {
    const std::vector<Accepted> cases = {
        {{"--port=/dev/ttyUSB0"}, [](const CommandLine& c) { return c.port == "/dev/ttyUSB0" && c.portGiven; }},
        {{"--port", "/dev/ttyACM0"}, [](const CommandLine& c) { return c.port == "/dev/ttyACM0" && c.portGiven; }},
        {{"--cycles=7", "--headless"}, [](const CommandLine& c) { return c.cycles == 7; }},
        {{"--seconds=0.5", "--headless"}, [](const CommandLine& c) { return c.seconds == 0.5; }},
        {{"--log=a b.csv"}, [](const CommandLine& c) { return c.logPath == "a b.csv"; }},
        {{"-h"}, [](const CommandLine& c) { return c.help; }},
        {{"--help"}, [](const CommandLine& c) { return c.help; }},
        {{"-v"}, [](const CommandLine& c) { return c.version; }},
        {{"--version"}, [](const CommandLine& c) { return c.version; }},
        {{"-hv"}, [](const CommandLine& c) { return c.help && c.version; }},
        {{"--list-ports"}, [](const CommandLine& c) { return c.listPorts; }},
        {{"--port", "-x"},
         [](const CommandLine& c) { return c.port == "-x"; }},  // a value may look like an option
        {{"--cycles", "0", "--headless"}, [](const CommandLine& c) { return c.cycles == 0; }},
        {{"--adapter", "elm327"},
         [](const CommandLine& c) { return c.adapter == AdapterKind::Elm327 && c.baud == 0; }},
        {{"--adapter=kline"}, [](const CommandLine& c) { return c.adapter == AdapterKind::KLine; }},
        {{"--adapter=elm327", "--baud", "115200"}, [](const CommandLine& c) { return c.baud == 115200; }},
        {{"--adapter=elm327", "--port", "tcp:192.168.0.10:35000"},
         [](const CommandLine& c) { return c.port == "tcp:192.168.0.10:35000"; }},
        {{"--port", "tcp:192.168.0.10:35000"},
         [](const CommandLine& c) { return c.adapter == AdapterKind::Elm327; }},
    };
    for (const auto& t : cases) {
        const CommandLine c = parse(t.args);
        EXPECT_TRUE(c.error.empty()) << t.args[0] << ": " << c.error;
        EXPECT_TRUE(t.holds(c)) << t.args[0];
    }
}

TEST(CommandLine, ParsesTheSameTwiceInARow) {
    // getopt keeps its place in globals: a second parse must not start where the first ended.
    for (int i = 0; i < 2; ++i) EXPECT_EQ(parse({"--simulate", "--port=/dev/x"}).port, "/dev/x");
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
        {"--replay", "t", "--speed", "0.2"},
        {"--replay", "t", "--speed", "17"},
        {"--replay", "t", "--speed", "fast"},
        {"--replay", "t", "--speed", "max"},  // max needs --headless
        {"--speed", "2"},
        {"--replay", "t", "--simulate"},
        {"--replay", "t", "--record", "u"},
        {"--record"},
        {"--replay"}};
    for (const auto& args : bad) EXPECT_FALSE(parse(args).error.empty()) << args[0] << " " << args.size();
}

TEST(CommandLine, AnErrorIsItsMessageAndWhereTheUsageIsNotTheWholeUsage) {
    EXPECT_EQ(commandLineErrorText("m797diag", "--cycles needs --headless"),
              "m797diag: --cycles needs --headless\nm797diag --help shows the usage\n");
}

TEST(CommandLine, RejectsWhatItDoesNotUnderstand) {
    const std::vector<std::vector<const char*>> bad = {{"--bogus"},        {"--port"},         {"--cycles", "ten"},
                                                       {"--cycles", "-3"}, {"--seconds", "x"}, {"--log"},
                                                       {"extra"}};
    for (const auto& args : bad) EXPECT_FALSE(parse(args).error.empty()) << args[0];
}

struct Refused {
    std::vector<const char*> args;
    const char* says;  // what the message must name
};

TEST(CommandLine, SaysWhatIsWrong) {
    const std::vector<Refused> cases = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        {{"-hx"}, "unknown option '-x'"},
        {{"--port"}, "option --port needs a value"},
        {{"--port", ""}, "--port needs a name, not an empty text"},
        {{"--port="}, "--port needs a name, not an empty text"},
        {{"--log", ""}, "--log needs a name, not an empty text"},
        {{"--simulate=yes"}, "option --simulate takes no value"},
        {{"--cycles", "ten"}, "--cycles needs a whole number, not 'ten'"},
        {{"--cycles", "-3"}, "--cycles needs a whole number, not '-3'"},
        {{"--cycles", "99999999999999999999"}, "--cycles needs a whole number"},
        {{"--seconds", "nan"}, "--seconds needs a number of seconds, not 'nan'"},
        {{"--seconds", "-1"}, "--seconds needs a number of seconds"},
        {{"extra"}, "unexpected argument 'extra'"},
        {{"--simulate", "extra", "--headless"}, "unexpected argument 'extra'"},
        // Options that would do nothing are refused, not ignored.
        {{"--simulate", "--cycles", "5"}, "--cycles needs --headless"},
        {{"--simulate", "--seconds", "5"}, "--seconds needs --headless"},
        {{"--replay", "t", "--port", "/dev/ttyUSB0"}, "--replay and --port cannot be used together"},
        {{"--headless", "--port=/dev/ttyS0", "--replay", "t"}, "--replay and --port cannot be used together"},
        {{"--adapter", "elm"}, "--adapter is kline or elm327, not 'elm'"},
        {{"--adapter", "elm327", "--baud", "12345"}, "--baud needs a serial rate such as 38400, not '12345'"},
        {{"--baud", "38400"}, "--baud is for an ELM327 (--adapter elm327)"},
        {{"--adapter", "kline", "--port", "tcp:192.168.0.10:35000"},
         "--port tcp:HOST:PORT is an ELM327 on Wi-Fi, not a K-line adapter"},
        {{"--adapter", "elm327", "--replay", "t"}, "--adapter elm327 and --replay cannot be used together"},
    };
    for (const auto& t : cases) {
        const std::string error = parse(t.args).error;
        EXPECT_NE(error.find(t.says), std::string::npos) << t.args[0] << " gave: " << error;
    }
}

TEST(CommandLine, UsageListsTheOptions) {
    const std::string usage = usageText("m797diag");
    for (const char* option :
         {"--port", "--simulate", "--ignore-screen-width", "--headless", "--log", "--record", "--replay",
          "--speed", "--version", "--list-ports", "--adapter", "--baud", "-h, --help", "-v, --version"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

TEST(CommandLine, EveryRowOfTheTableIsInTheUsageAndParses) {
    const std::string usage = usageText("m797diag");
    for (const OptionRow& row : commandLineOptions()) {
        const std::string name = std::string("--") + row.name;
        EXPECT_NE(usage.find(name), std::string::npos) << name;
        // Each row's own value is read (combinations of options are checked apart).
        CommandLine c;
        const char* value = name == "--adapter" ? "elm327" : name == "--baud" ? "38400" : "1";
        EXPECT_EQ(row.set(c, row.valueName ? value : nullptr), "") << name;
    }
}

TEST(CommandLine, UsageContinuationLinesLineUpWithTheHelpColumn) {
    const std::string usage = usageText("m797diag");
    const std::size_t at = usage.find("--port DEVICE");
    const std::size_t helpColumn = usage.find("serial device", at) - usage.rfind('\n', at) - 1;
    const std::size_t next = usage.find('\n', at) + 1;
    EXPECT_EQ(usage.find_first_not_of(' ', next) - next, helpColumn);
}

}  // namespace
}  // namespace m797
