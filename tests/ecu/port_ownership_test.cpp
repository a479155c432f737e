// The port belongs to one program at a time and is handed back as it was
// found; another reader on the line never takes a working link down.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "ecu/posix_serial_line.h"
#include "tests/ecu/link_fixture.h"

namespace m797 {
namespace {

struct PtyPair {
    PtyPair() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        grantpt(master);
        unlockpt(master);
        char name[128] = {};
        ptsname_r(master, name, sizeof name);
        path = name;
    }
    ~PtyPair() { ::close(master); }
    int master = -1;
    std::string path;
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(PortOwnership, ASecondCopyIsRefusedAndToldWhichProcessHoldsThePort) {
    PtyPair pty;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {  // the first copy: holds the port locked until killed
        const int fd = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
        [[maybe_unused]] ssize_t n = ::write(ready[1], &ok, 1);
        for (;;) pause();
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    PosixSerialLine second(pty.path);
    EXPECT_FALSE(second.openPort());
    EXPECT_EQ(second.lastErrorNumber(), EBUSY);
    EXPECT_TRUE(contains(second.lastErrorText(), "in use")) << second.lastErrorText();
    EXPECT_TRUE(contains(second.lastErrorText(), "process " + std::to_string(holder))) << second.lastErrorText();
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(second.openPort()) << second.lastErrorText();
    // Within one process too: the lock belongs to the open port.
    PosixSerialLine third(pty.path);
    EXPECT_FALSE(third.openPort());
    second.closePort();
    EXPECT_TRUE(third.openPort());
}

TEST(PortOwnership, TheDeviceSettingsArePutBackOnClose) {
    PtyPair pty;
    const int other = ::open(pty.path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(other, &before), 0);
    before.c_lflag |= ECHO | ICANON;
    cfsetspeed(&before, B9600);
    ASSERT_EQ(tcsetattr(other, TCSANOW, &before), 0);
    ASSERT_EQ(tcgetattr(other, &before), 0);

    PosixSerialLine line(pty.path);
    ASSERT_TRUE(line.openPort());
    termios during{};
    tcgetattr(other, &during);
    EXPECT_EQ(during.c_lflag & (ECHO | ICANON), 0u);
    line.closePort();
    termios after{};
    tcgetattr(other, &after);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(cfgetispeed(&after), cfgetispeed(&before));
    ::close(other);
}

TEST(PortOwnership, TheProgramsOwnTerminalIsRefusedAndLeftAsItWas) {
    PtyPair pty;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // a session whose controlling terminal is the pty
        setsid();
        const int fd = ::open(pty.path.c_str(), O_RDWR);
        termios before{};
        if (fd < 0 || tcgetattr(fd, &before) != 0) _exit(10);
        int failures = 0;
        for (const char* name : {"/dev/tty", pty.path.c_str()}) {
            PosixSerialLine line(name);
            if (line.openPort()) ++failures;
            if (line.lastErrorText().find("terminal the program runs in") == std::string::npos) ++failures;
        }
        termios after{};
        tcgetattr(fd, &after);
        if (after.c_lflag != before.c_lflag || after.c_cflag != before.c_cflag) ++failures;
        _exit(failures);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(PortOwnership, AnotherReaderOnThePortNeverTakesAWorkingLinkDown) {
    testing::Link link(testing::fastSim(sim::Fault::SecondReader));
    link.port->resume();
    ASSERT_TRUE(testing::waitFor([&] { return link.cyclesWithData >= 40; }, 20000));
    link.port->suspend();
    EXPECT_TRUE(link.port->portOpen());
    EXPECT_EQ(link.giveUps.load(), 0);
    const auto statuses = link.statusLog();
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Установление связи."), 1);
}

}  // namespace
}  // namespace m797
