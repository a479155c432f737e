// Every catchable end of the window program releases the output under test:
// the stop signals (SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, ...) end it
// like "Выход" (release on the wire, colour scheme saved, status 0); a crash
// (SIGSEGV, SIGABRT) still writes the release before the signal takes its
// default course; the X server going away ends it through the same release.
// A release the control unit refuses is named on stderr, status 5.
// SIGPIPE (a closed terminal or pipe on stdout or stderr) ends nothing.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/ecu/link_fixture.h"

extern char** environ;

namespace m797 {
namespace {

const sim::Bytes kFanRelease{0x83, 0x10, 0xF1, 0x30, 0x0A, 0x00, 0xBE};

// Waits up to `timeoutMs` for the child; -1 when it has not ended.
int waitExit(pid_t pid, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The environment with NAME=value put in (or replaced).
std::vector<std::string> environmentWith(const std::string& name, const std::string& value) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind(name + "=", 0) != 0) env.emplace_back(*e);
    env.push_back(name + "=" + value);
    return env;
}

// The helper on the simulator's line, its settings in a folder of its own,
// stderr into a file. A background job of a non-interactive shell has SIGINT
// and SIGQUIT ignored: the child starts with every signal at its default.
struct Helper {
    sim::KLineSimulator simulator{testing::fastSim()};
    char configDir[32] = "/tmp/m797-signal-XXXXXX";
    pid_t pid = -1;

    bool start(const std::string& display = {}) {
        if (!simulator.start() || !mkdtemp(configDir)) return false;
        std::vector<std::string> env = environmentWith("XDG_CONFIG_HOME", configDir);
        if (!display.empty()) {
            std::erase_if(env, [](const std::string& e) { return e.rfind("DISPLAY=", 0) == 0; });
            env.push_back("DISPLAY=" + display);
        }
        std::vector<char*> envp;
        envp.reserve(env.size() + 1);
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        const std::string device = simulator.slavePath();
        char* args[] = {const_cast<char*>(SIGNAL_EXIT_HELPER), const_cast<char*>(device.c_str()), nullptr};
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attr, &all);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 2, stderrPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int r = posix_spawn(&pid, SIGNAL_EXIT_HELPER, &files, &attr, args, envp.data());
        posix_spawn_file_actions_destroy(&files);
        posix_spawnattr_destroy(&attr);
        return r == 0;
    }
    ~Helper() {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
        simulator.stop();
        std::filesystem::remove_all(configDir);
    }
    std::string stderrPath() const { return std::string(configDir) + "/stderr.txt"; }
    bool fanForced() const { return simulator.ecu().forced[0x0A].forced; }
    bool waitForFanOn() {
        return testing::waitFor([&] { return fanForced(); }, 20000);
    }
    long releases() const {
        const auto frames = simulator.frames();
        return std::count_if(frames.begin(), frames.end(), [](const auto& f) { return f.bytes == kFanRelease; });
    }
    int endWith(int signalNumber) {
        simulator.clearFrames();
        kill(pid, signalNumber);
        const int status = waitExit(pid, 20000);
        if (status >= 0) pid = -1;
        return status;
    }
    bool coloursSaved() const {
        return readFile(std::filesystem::path(configDir) / "m797diag" / "user.reg").find("COLOUR_CIRCUIT") !=
               std::string::npos;
    }
};

TEST(SignalExit, AStopSignalReleasesTheOutputSavesTheColoursAndExitsZero) {
    struct Case {
        int signal;
        const char* name;
        bool afterSigpipe = false;  // a SIGPIPE comes first
    };
    const Case cases[] = {{SIGTERM, "SIGTERM"},
                          {SIGINT, "SIGINT"},
                          {SIGHUP, "SIGHUP"},
                          {SIGQUIT, "SIGQUIT"},
                          {SIGUSR1, "SIGUSR1"},
                          {SIGUSR2, "SIGUSR2"},
                          {SIGTERM, "SIGPIPE, then SIGTERM", true}};
    for (const Case c : cases) {
        Helper helper;
        ASSERT_TRUE(helper.start()) << c.name;
        ASSERT_TRUE(helper.waitForFanOn()) << c.name;
        if (c.afterSigpipe) kill(helper.pid, SIGPIPE);  // would end it at once, the output left on
        const int status = helper.endWith(c.signal);
        ASSERT_TRUE(WIFEXITED(status)) << c.name << " status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0) << c.name;
        EXPECT_EQ(helper.releases(), 1) << c.name;
        EXPECT_FALSE(helper.fanForced()) << c.name;
        EXPECT_TRUE(helper.coloursSaved()) << c.name;
    }
}

// A crash cannot end the orderly way: the release prepared when the fan was
// switched on is written before the signal takes its default course.
TEST(SignalExit, ACrashStillWritesTheRelease) {
    for (const int signalNumber : {SIGSEGV, SIGABRT, SIGBUS}) {
        Helper helper;
        ASSERT_TRUE(helper.start()) << signalNumber;
        ASSERT_TRUE(helper.waitForFanOn()) << signalNumber;
        const int status = helper.endWith(signalNumber);
        ASSERT_TRUE(WIFSIGNALED(status)) << signalNumber << " status " << status;
        EXPECT_EQ(WTERMSIG(status), signalNumber);
        EXPECT_TRUE(testing::waitFor([&] { return !helper.fanForced(); }, 5000)) << signalNumber;
        EXPECT_GE(helper.releases(), 1) << signalNumber;
    }
}

// The control unit refuses the release: the end names the output on stderr
// and the status says an output may be left forced.
TEST(SignalExit, AnUnconfirmedReleaseIsNamedAndEndsWithStatusFive) {
    Helper helper;
    ASSERT_TRUE(helper.start());
    ASSERT_TRUE(helper.waitForFanOn());
    helper.simulator.setActuatorAnswers(sim::ActuatorAnswers::Refused);
    const int status = helper.endWith(SIGTERM);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 5);
    EXPECT_GE(helper.releases(), 1);
    EXPECT_NE(
        readFile(helper.stderrPath()).find("«Реле вентилятора 1» может остаться включённым — выключите зажигание"),
        std::string::npos)
        << readFile(helper.stderrPath());
}

// A private X server for one helper, ended with SIGKILL when asked.
struct PrivateXServer {
    pid_t pid = -1;
    std::string display;  // ":N"

    bool start() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        const std::string displayFd = std::to_string(fds[1]);
        const char* args[] = {"Xvfb",      "-displayfd", displayFd.c_str(), "-screen", "0", "1024x768x24",
                              "-nolisten", "tcp",        "-noreset",        nullptr};
        const int r = posix_spawnp(&pid, "Xvfb", nullptr, nullptr, const_cast<char**>(args), environ);
        close(fds[1]);
        std::string number;
        char ch = 0;
        while (r == 0 && read(fds[0], &ch, 1) == 1 && ch != '\n') number += ch;
        close(fds[0]);
        display = ":" + number;
        return r == 0 && !number.empty();
    }
    void kill() {
        if (pid <= 0) return;
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    ~PrivateXServer() { kill(); }
};

// The X server killed under the program: Qt ends the process with exit(1),
// and the release still goes out on the way; one the control unit refuses
// is named, status 5.
TEST(SignalExit, TheXServerGoingAwayStillReleases) {
    struct Case {
        sim::ActuatorAnswers answers;
        int status;
    };
    for (const Case c : {Case{sim::ActuatorAnswers::Normal, 1}, Case{sim::ActuatorAnswers::Refused, 5}}) {
        PrivateXServer server;
        ASSERT_TRUE(server.start());
        Helper helper;
        ASSERT_TRUE(helper.start(server.display));
        const bool on = helper.waitForFanOn();
        helper.simulator.setActuatorAnswers(c.answers);
        helper.simulator.clearFrames();
        server.kill();
        ASSERT_TRUE(on);
        const int status = waitExit(helper.pid, 20000);
        if (status >= 0) helper.pid = -1;
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), c.status);  // 1: Qt's own
        if (c.status == 1) {
            EXPECT_EQ(helper.releases(), 1);
        }
        EXPECT_GE(helper.releases(), 1);
        EXPECT_EQ(helper.fanForced(), c.status == 5);
        EXPECT_EQ(readFile(helper.stderrPath()).find("«Реле вентилятора 1» может остаться") != std::string::npos,
                  c.status == 5);
    }
}

}  // namespace
}  // namespace m797
