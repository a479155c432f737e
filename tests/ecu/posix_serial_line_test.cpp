// The line layer against scripted peers on a pseudo-terminal: the test holds
// the master side and plays the adapter.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "ecu/line_speed.h"
#include "ecu/posix_serial_line.h"

namespace m797 {
namespace {

using namespace std::chrono;
using Bytes = std::vector<std::uint8_t>;

class Pty {
public:
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        char name[128] = {};
        ptsname_r(master, name, sizeof name);
        path = name;
    }
    ~Pty() { closeMaster(); }
    void closeMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    // Reads exactly n bytes or gives up after the time-out.
    Bytes read(std::size_t n, int timeoutMs = 2000) const {
        Bytes got;
        const auto end = steady_clock::now() + milliseconds(timeoutMs);
        while (got.size() < n && steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
                std::uint8_t b[256];
                const ssize_t r = ::read(master, b, std::min(sizeof b, n - got.size()));
                if (r > 0) got.insert(got.end(), b, b + r);
            }
        }
        return got;
    }
    void write(const Bytes& b) const { ASSERT_EQ(::write(master, b.data(), b.size()), ssize_t(b.size())); }

    int master = -1;
    std::string path;
};

const Bytes kRequest = {0x81, 0x10, 0xF1, 0x81, 0x03};

struct Timed {
    std::uint32_t n;
    double ms;
};

Timed timedExchange(PosixSerialLine& line, std::uint8_t* answer, std::uint32_t capacity) {
    const auto t0 = steady_clock::now();
    const std::uint32_t n = line.exchange(kRequest.data(), kRequest.size(), answer, capacity);
    return {n, duration<double, std::milli>(steady_clock::now() - t0).count()};
}

class LineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(line.openPort()) << line.lastErrorText(); }
    Pty pty;
    PosixSerialLine line{pty.path};
    std::uint8_t answer[140] = {};
};

TEST_F(LineTest, ReadEndsWhenTheCapacityHasArrived) {
    std::thread peer([&] {
        EXPECT_EQ(pty.read(5), kRequest);
        pty.write(Bytes(20, 0x55));  // more than asked for
    });
    const Timed t = timedExchange(line, answer, 14);
    peer.join();
    EXPECT_EQ(t.n, 14u);
    EXPECT_LT(t.ms, 45.0);
}

TEST_F(LineTest, ReadEndsFiftyMillisecondsAfterTheLastByte) {
    std::thread peer([&] {
        pty.read(5);
        pty.write({1, 2, 3});
        std::this_thread::sleep_for(milliseconds(30));  // shorter than the inter-byte time-out
        pty.write({4});
    });
    const Timed t = timedExchange(line, answer, 14);
    peer.join();
    EXPECT_EQ(t.n, 4u);
    EXPECT_EQ(answer[3], 4);
    EXPECT_GE(t.ms, 75.0);  // 30 ms gap, then 50 ms of silence
    EXPECT_LT(t.ms, 400.0);
}

TEST_F(LineTest, SilenceFromTheStartEndsAFourteenByteReadAfterItsTotalTimeOut) {
    const Timed t = timedExchange(line, answer, 14);
    EXPECT_EQ(t.n, 0u);
    EXPECT_GE(t.ms, 745.0);  // 50 ms x 14 + 50 ms
    EXPECT_LT(t.ms, 1300.0);
}

TEST_F(LineTest, BytesArrivingAfterTheReadNeverReachTheNextAnswer) {
    std::thread peer([&] {
        pty.read(5);
        pty.write({0xA1, 0xA2});
        std::this_thread::sleep_for(milliseconds(90));  // after the read has ended
        pty.write({0xEE, 0xEE, 0xEE});
        pty.read(5);
        pty.write({0xB1});
    });
    EXPECT_EQ(timedExchange(line, answer, 14).n, 2u);
    std::this_thread::sleep_for(milliseconds(120));  // the late bytes are waiting now
    const Timed second = timedExchange(line, answer, 14);
    peer.join();
    ASSERT_EQ(second.n, 1u);
    EXPECT_EQ(answer[0], 0xB1);
}

// A read that stopped at its capacity may have stopped inside a frame still
// on the wire: the next request waits for the line to fall quiet, and the
// rest of that frame never reaches the next answer.
TEST(Line, AfterAFullReadTheNextRequestWaitsForAQuietLine) {
    // A quiet line is 300 ms without a byte: the peer's pause of 20 ms stays
    // well inside it on a loaded machine.
    Pty pty;
    LineTimeouts patient;
    patient.readIntervalMs = 300;
    PosixSerialLine line(pty.path, patient);
    ASSERT_TRUE(line.openPort()) << line.lastErrorText();
    std::uint8_t answer[14] = {};
    std::thread peer([&] {
        pty.read(5);
        pty.write(Bytes(14, 0x55));  // as much as asked for, and more to come
        std::this_thread::sleep_for(milliseconds(20));
        pty.write({0xEE, 0xEE, 0xEE});  // the rest of that frame
        pty.read(5);
        pty.write({0xB1});
    });
    EXPECT_EQ(timedExchange(line, answer, 14).n, 14u);
    const Timed second = timedExchange(line, answer, 14);
    peer.join();
    ASSERT_EQ(second.n, 1u);
    EXPECT_EQ(answer[0], 0xB1);
}

TEST_F(LineTest, InterruptDescriptorCutsAReadShort) {
    const int fd = eventfd(0, EFD_NONBLOCK);
    line.setInterruptFd(fd);
    std::thread stopper([&] {
        std::this_thread::sleep_for(milliseconds(60));
        const std::uint64_t one = 1;
        EXPECT_EQ(::write(fd, &one, sizeof one), 8);
    });
    const Timed t = timedExchange(line, answer, 140);  // would wait 7.05 s
    stopper.join();
    ::close(fd);
    EXPECT_LT(t.ms, 300.0);
}

TEST_F(LineTest, WakeUpIsOneZeroByteAt360BaudThenTheLineIsBackAt10400) {
    unsigned speedWhenByteCame = 0;
    Bytes pulse;
    std::thread peer([&] {
        pulse = pty.read(1);
        speedWhenByteCame = readLineSpeed(pty.master);
    });
    const auto t0 = steady_clock::now();
    line.sendWakeUpPulse();
    const double ms = duration<double, std::milli>(steady_clock::now() - t0).count();
    peer.join();
    EXPECT_EQ(pulse, Bytes{0x00});
    EXPECT_EQ(speedWhenByteCame, 360u);
    EXPECT_EQ(readLineSpeed(pty.master), 10400u);
    EXPECT_FALSE(line.lastWakeUpUsedBreak());
    EXPECT_GE(ms, 49.0);
    EXPECT_LT(ms, 300.0);
}

TEST_F(LineTest, AVanishedDeviceMakesEveryLaterCallFailQuickly) {
    pty.closeMaster();  // the adapter is pulled
    for (int i = 0; i < 3; ++i) {
        const Timed t = timedExchange(line, answer, 140);
        EXPECT_EQ(t.n, 0u);
        EXPECT_LT(t.ms, 200.0);
    }
    line.sendWakeUpPulse();
    line.closePort();
    EXPECT_FALSE(line.isOpen());
}

TEST(LineOpen, FailsWithAReasonForEveryKindOfUnusableDevice) {
    char dir[] = "/tmp/m797-line-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string plainFile = std::string(dir) + "/file";
    ::close(::open(plainFile.c_str(), O_CREAT | O_WRONLY, 0600));
    struct Case {
        std::string device;
        int error;
    };
    const Case cases[] = {{std::string(dir) + "/missing", ENOENT}, {plainFile, ENOTTY}, {dir, EISDIR}};
    for (const Case& c : cases) {
        PosixSerialLine line(c.device);
        EXPECT_FALSE(line.openPort()) << c.device;
        EXPECT_EQ(line.lastErrorNumber(), c.error) << c.device;
        EXPECT_FALSE(line.lastErrorText().empty());
        std::uint8_t answer[14];
        EXPECT_EQ(line.exchange(kRequest.data(), 5, answer, 14), 0u);  // fails quietly
    }
    ::unlink(plainFile.c_str());
    ::rmdir(dir);
}

// An adapter pulled out and plugged in again comes back as another tty; the
// stable name udev keeps for it then points there.
TEST(LineOpen, AnAdapterPluggedInAgainIsFoundUnderItsStableName) {
    char dir[] = "/tmp/m797-byid-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string stable = std::string(dir) + "/usb-FTDI_FT232R-if00-port0";
    auto first = std::make_unique<Pty>();
    ASSERT_EQ(::symlink(first->path.c_str(), stable.c_str()), 0);
    // Generous read time-outs: the answer below ends the read as soon as it is whole.
    PosixSerialLine line(stable, LineTimeouts{1000, 50, 10000, 50});
    ASSERT_TRUE(line.openPort()) << line.lastErrorText();
    std::uint8_t answer[14];

    first->closeMaster();  // pulled out: udev takes the stable name away
    EXPECT_EQ(line.exchange(kRequest.data(), kRequest.size(), answer, sizeof answer), 0u);
    EXPECT_FALSE(line.isOpen());
    ASSERT_EQ(::unlink(stable.c_str()), 0);
    first.reset();
    EXPECT_EQ(line.exchange(kRequest.data(), kRequest.size(), answer, sizeof answer), 0u);  // not back yet

    Pty second;  // plugged in again under another number
    ASSERT_EQ(::symlink(second.path.c_str(), stable.c_str()), 0);
    std::thread adapter([&] {
        if (second.read(kRequest.size()) == kRequest) second.write({0x83, 0xF1, 0x10});
    });
    const std::uint32_t n = line.exchange(kRequest.data(), kRequest.size(), answer, 3);
    adapter.join();
    EXPECT_TRUE(line.isOpen());
    ASSERT_EQ(n, 3u);
    EXPECT_EQ(answer[0], 0x83);

    // Closed on purpose, it stays closed.
    line.closePort();
    EXPECT_EQ(line.exchange(kRequest.data(), kRequest.size(), answer, sizeof answer), 0u);
    EXPECT_FALSE(line.isOpen());
    ::unlink(stable.c_str());
    ::rmdir(dir);
}

TEST(LineOpen, AClosedPortCanBeOpenedAgain) {
    Pty pty;
    PosixSerialLine line(pty.path);
    ASSERT_TRUE(line.openPort());
    line.closePort();
    PosixSerialLine other(pty.path);
    EXPECT_TRUE(other.openPort()) << other.lastErrorText();
}

}  // namespace
}  // namespace m797
