// m797diag itself, as a shell runs it: into a pipe that closes early, and
// with a command line it does not take.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace m797 {
namespace {

namespace fs = std::filesystem;

struct Ended {
    int status = -1;  // the wait status
    std::string err;
};

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs m797diag with `args`: stdout into a pipe of which the test reads the
// first line and then closes (as `| head -1` does), stderr into a file.
Ended runIntoHeadOne(const std::vector<std::string>& args, const fs::path& errFile, std::string& firstLine) {
    int out[2];
    if (pipe(out) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    // The shell's defaults: SIGPIPE ends a program that does not see to it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv{const_cast<char*>(M797DIAG)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, M797DIAG, &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(out[1]);
    if (spawned != 0) return {};
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n') firstLine += c;
    close(out[0]);  // head -1 has what it wants
    Ended ended;
    waitpid(pid, &ended.status, 0);
    ended.err = readAll(errFile);
    return ended;
}

class MainProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/m797-main-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(MainProgramTest, AHeadlessRunIntoAPipeClosedEarlyEndsAsUsualWithAWholeLog) {
    const fs::path log = dir / "p1.csv";
    std::string first;
    const Ended e = runIntoHeadOne({"--headless", "--simulate", "--cycles", "12", "--log", log.string()},
                                   dir / "err.txt", first);
    EXPECT_FALSE(first.empty());
    ASSERT_TRUE(WIFEXITED(e.status)) << "ended by signal " << WTERMSIG(e.status) << "\n" << e.err;
    EXPECT_EQ(WEXITSTATUS(e.status), 0) << e.err;
    const std::string csv = readAll(log);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 12) << csv.substr(0, 200);
}

TEST_F(MainProgramTest, ACommandLineErrorIsTwoLinesNotTheUsage) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"--simulate", "--seconds", "5"}, "m797diag: --seconds needs --headless\n"},
        {{"--replay", "t.trace", "--port", "/dev/ttyUSB0"},
         "m797diag: --replay and --port cannot be used together\n"},
        {{"--bogus"}, "m797diag: unknown option '--bogus'\n"},
    };
    for (const Case& c : cases) {
        std::string first;
        const Ended e = runIntoHeadOne(c.args, dir / "err.txt", first);
        ASSERT_TRUE(WIFEXITED(e.status)) << c.message;
        EXPECT_EQ(WEXITSTATUS(e.status), 2) << c.message;
        EXPECT_EQ(e.err, std::string(c.message) + "m797diag --help shows the usage\n");
    }
}

// The window program replaying a FIFO whose writer sends nothing: a stop
// signal ends the wait, and the run, with status 1 and the reason on the
// terminal (no box: nobody may be at the window).
TEST_F(MainProgramTest, AWindowReplayOfASilentFifoEndsOnAStopSignal) {
    const fs::path fifo = dir / "silent.trace";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path errFile = dir / "err.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::string config = "XDG_CONFIG_HOME=" + dir.string();
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    env.push_back(const_cast<char*>(config.c_str()));
    env.push_back(nullptr);
    const std::string replay = fifo.string();
    char* argv[] = {const_cast<char*>(M797DIAG), const_cast<char*>("--replay"), const_cast<char*>(replay.c_str()),
                    const_cast<char*>("--ignore-screen-width"), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, M797DIAG, &actions, nullptr, argv, env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    // The program has the FIFO open (and its signals taken) once a writer can open it.
    int writer = -1;
    for (int i = 0; i < 2000 && writer < 0; ++i) {
        writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GE(writer, 0) << "the program never opened the FIFO";
    ::kill(pid, SIGTERM);
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 1000 && ended == 0; ++i) {
        ended = waitpid(pid, &status, WNOHANG);
        if (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(writer);
    if (ended == 0) ::kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    ASSERT_EQ(ended, pid) << "still running 10 s after SIGTERM";
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status << "\n" << readAll(errFile);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(readAll(errFile).find("silent.trace"), std::string::npos) << readAll(errFile);
}

}  // namespace
}  // namespace m797
