// SIGTERM, SIGINT and SIGHUP end the window program like "Выход": the output
// under test is released on the wire, the colour scheme is saved, and the
// program exits with 0.

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
#include <thread>

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

TEST(SignalExit, AStopSignalReleasesTheOutputSavesTheColoursAndExitsZero) {
    struct Case {
        int signal;
        const char* name;
    };
    for (const Case c : {Case{SIGTERM, "SIGTERM"}, Case{SIGINT, "SIGINT"}, Case{SIGHUP, "SIGHUP"}}) {
        sim::KLineSimulator simulator(testing::fastSim());
        ASSERT_TRUE(simulator.start());
        char configDir[] = "/tmp/m797-signal-XXXXXX";
        ASSERT_NE(mkdtemp(configDir), nullptr);
        setenv("XDG_CONFIG_HOME", configDir, 1);
        const std::string device = simulator.slavePath();
        char* args[] = {const_cast<char*>(SIGNAL_EXIT_HELPER), const_cast<char*>(device.c_str()), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, SIGNAL_EXIT_HELPER, nullptr, nullptr, args, environ), 0);

        const bool forced = testing::waitFor([&] { return simulator.ecu().forced[0x0A].forced; }, 20000);
        simulator.clearFrames();
        kill(pid, c.signal);
        const int status = waitExit(pid, 20000);
        if (status < 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);

        ASSERT_TRUE(forced) << c.name;
        ASSERT_TRUE(WIFEXITED(status)) << c.name << " status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0) << c.name;
        const auto frames = simulator.frames();
        EXPECT_EQ(std::count_if(frames.begin(), frames.end(), [](const auto& f) { return f.bytes == kFanRelease; }), 1)
            << c.name;
        EXPECT_FALSE(simulator.ecu().forced[0x0A].forced) << c.name;
        const std::filesystem::path settings = std::filesystem::path(configDir) / "m797diag" / "user.reg";
        EXPECT_NE(readFile(settings).find("COLOUR_CIRCUIT"), std::string::npos) << c.name;
        simulator.stop();
        std::filesystem::remove_all(configDir);
    }
}

}  // namespace
}  // namespace m797
