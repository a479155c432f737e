#include "ecu/posix_serial_line.h"

#include "ecu/crash_release.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "ecu/crash_release.h"
#include "ecu/line_speed.h"
#include "ecu/port_holder.h"

namespace m797 {
namespace {

long long nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

constexpr long long kMs = 1000000LL;
// The longest wait for a quiet line after a full read, in read intervals.
constexpr int kQuietLineIntervals = 4;

timespec toTimespec(long long ns) {
    if (ns < 0) ns = 0;
    return timespec{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
}

// FTDI and similar USB adapters otherwise hold bytes up to 16 ms before passing
// them on; drivers without the setting answer ENOTTY or EINVAL, which is fine.
void askForLowLatency(int fd) {
    serial_struct s{};
    if (ioctl(fd, TIOCGSERIAL, &s) != 0) return;
    s.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &s);
}

// Read errors that mean the device itself is gone (adapter pulled, hang-up).
bool deviceGone(int error) { return error == EIO || error == ENODEV || error == ENXIO; }

// The terminal this program runs in: TIOCGSID answers only for the caller's
// own controlling terminal (whatever name it was opened by, /dev/tty too).
bool isOwnControllingTerminal(int fd) {
    pid_t session = 0;
    return ioctl(fd, TIOCGSID, &session) == 0;
}

// Unix 98 pseudo-terminal slaves have majors 136..143 (devices.txt).
bool isPseudoTerminal(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

}  // namespace

PosixSerialLine::PosixSerialLine(std::string device, LineTimeouts timeouts)
    : portName(std::move(device)), lineTimeouts(timeouts) {}

PosixSerialLine::~PosixSerialLine() { closePort(); }

bool PosixSerialLine::fail(const char* what) {
    lastErrno_ = errno;
    lastError_ = std::string(what) + ": " + std::strerror(lastErrno_);
    if (portHandle >= 0) {
        restoreLineSettings(portHandle, savedSettings_);
        ::close(portHandle);
    }
    savedSettings_ = {};
    portHandle = -1;
    return false;
}

bool PosixSerialLine::openPort() {
    closePort();
    lastErrno_ = 0;
    lastError_.clear();
    portHandle = ::open(portName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (portHandle < 0) return errno == EBUSY ? failInUse("cannot open") : fail("cannot open");
    if (!isatty(portHandle)) {
        errno = ENOTTY;
        return fail("not a serial device");
    }
    pseudoTerminal_ = isPseudoTerminal(portHandle);
    if (isOwnControllingTerminal(portHandle)) {
        errno = EBUSY;
        return fail("this is the terminal the program runs in");
    }
    if (!takeAlone()) return false;
    savedSettings_ = saveLineSettings(portHandle);
    if (!configureRawLine(portHandle, lineBaudRate)) {
        if (errno == 0) errno = EINVAL;
        return fail("cannot set 10400 baud 8N1");
    }
    askForLowLatency(portHandle);
    tcflush(portHandle, TCIOFLUSH);
    setCrashReleasePort(portHandle);
    return true;
}

// No sharing, as the adapter belongs to one program. TIOCEXCL keeps out later
// opens except root's; the lock keeps out every other copy of this program.
bool PosixSerialLine::takeAlone() {
    if (flock(portHandle, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) return fail("cannot lock the port");
        errno = EBUSY;
        return failInUse("the port is in use");
    }
    ioctl(portHandle, TIOCEXCL);
    return true;
}

bool PosixSerialLine::failInUse(const char* what) {
    const int error = errno;
    const std::string holder = describePortHolder(portName, getpid());
    errno = error;
    fail(what);
    if (!holder.empty()) lastError_ += " (held by " + holder + ")";
    return false;
}

void PosixSerialLine::closePort() {
    lost_ = false;  // closed on purpose: stays closed until opened
    if (portHandle < 0) return;
    forgetCrashReleasePort(portHandle);
    restoreLineSettings(portHandle, savedSettings_);  // the device as it was found
    savedSettings_ = {};
    ioctl(portHandle, TIOCNXCL);  // the next open may come from anyone
    ::close(portHandle);          // also drops the lock
    portHandle = -1;
}

void PosixSerialLine::lose() {
    closePort();
    lost_ = true;
}

void PosixSerialLine::reopenIfLost() {
    if (portHandle >= 0 || !lost_) return;
    lost_ = !openPort();
}

void PosixSerialLine::writeAll(const std::uint8_t* bytes, std::uint32_t length) {
    std::uint32_t done = 0;
    const long long deadline = nowNs() + 1000 * kMs;
    while (done < length && portHandle >= 0) {
        const ssize_t n = ::write(portHandle, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && nowNs() < deadline) {
            pollfd p{portHandle, POLLOUT, 0};
            poll(&p, 1, 10);
            continue;
        }
        if (n < 0 && deviceGone(errno)) lose();
        return;
    }
}

std::uint32_t PosixSerialLine::readAnswer(std::uint8_t* answer, std::uint32_t capacity) {
    const long long start = nowNs();
    const long long total = start + (static_cast<long long>(lineTimeouts.readTotalMultiplierMs) * capacity +
                                     lineTimeouts.readTotalConstantMs) *
                                        kMs;
    long long lastByte = -1;
    std::uint32_t got = 0;
    while (got < capacity && portHandle >= 0) {
        long long deadline = total;
        if (lastByte >= 0) deadline = std::min(deadline, lastByte + lineTimeouts.readIntervalMs * kMs);
        const long long left = deadline - nowNs();
        if (left <= 0) break;
        pollfd p[2] = {{portHandle, POLLIN, 0}, {interruptFd_, POLLIN, 0}};
        const timespec wait = toTimespec(left);
        const int r = ppoll(p, interruptFd_ >= 0 ? 2 : 1, &wait, nullptr);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) break;
        if (r == 0) continue;  // the deadline is checked at the top
        if (interruptFd_ >= 0 && (p[1].revents & POLLIN)) {
            interrupted_ = true;
            break;
        }
        if (p[0].revents & POLLIN) {
            const ssize_t n = ::read(portHandle, answer + got, capacity - got);
            if (n > 0) {
                got += static_cast<std::uint32_t>(n);
                lastByte = nowNs();
                continue;
            }
            if (n < 0 && deviceGone(errno)) {
                lose();
                break;
            }
            // With VMIN 0 a read of 0 bytes is "nothing yet" (another reader
            // took the bytes); the hang-up test below tells a gone device.
            if (n < 0 && errno != EINTR && errno != EAGAIN) break;
        }
        if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            lose();
            break;
        }
    }
    return got;
}

void PosixSerialLine::discardInput() {
    if (portHandle >= 0) tcflush(portHandle, TCIFLUSH);
}

// A read that stopped at its capacity may have stopped inside a frame that is
// still on the wire (another unit's, or noise). A request written then would
// collide with it on the shared K-line: before the next request, let the line
// fall quiet for a read interval, discarding what comes, as a tester waits for
// a quiet bus. A line that never falls quiet (noise) is waited on for a few
// intervals. After a read that ended in silence the line is quiet already.
void PosixSerialLine::awaitQuietLine() {
    if (!lineMayBeBusy_) return;
    lineMayBeBusy_ = false;
    const long long interval = lineTimeouts.readIntervalMs * kMs;
    const long long until = nowNs() + kQuietLineIntervals * interval;
    long long lastByte = nowNs();
    std::uint8_t sink[256];
    while (portHandle >= 0) {
        const long long left = std::min(until, lastByte + interval) - nowNs();
        if (left <= 0) return;
        pollfd p[2] = {{portHandle, POLLIN, 0}, {interruptFd_, POLLIN, 0}};
        const timespec wait = toTimespec(left);
        const int r = ppoll(p, interruptFd_ >= 0 ? 2 : 1, &wait, nullptr);
        if (r < 0 && errno != EINTR) return;
        if (r <= 0) continue;
        if (interruptFd_ >= 0 && (p[1].revents & POLLIN)) return;  // paused or ending: no request follows now
        if (p[0].revents & POLLIN) {
            const ssize_t n = ::read(portHandle, sink, sizeof sink);
            if (n > 0) lastByte = nowNs();
            if (n < 0 && deviceGone(errno)) return lose();
        }
        if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return lose();
    }
}

std::uint32_t PosixSerialLine::exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                                        std::uint32_t capacity) {
    reopenIfLost();
    if (portHandle < 0) return 0;
    awaitQuietLine();
    discardInput();  // what came after the last read (a late answer) is not this answer
    writeAll(request, length);
    interrupted_ = false;
    const std::uint32_t got = readAnswer(answer, capacity);
    lineMayBeBusy_ = got == capacity;
    if (!interrupted_) discardInput();
    lastExchangeEchoed_ = got > 0;
    return got;
}

std::uint32_t PosixSerialLine::continueRead(std::uint8_t* answer, std::uint32_t got, std::uint32_t capacity) {
    if (portHandle < 0 || got >= capacity) return got;
    interrupted_ = false;
    got += readAnswer(answer + got, capacity - got);
    lineMayBeBusy_ = got == capacity;
    if (!interrupted_) discardInput();
    lastExchangeEchoed_ = got > 0;
    return got;
}

void PosixSerialLine::pauseUntil(long long deadlineNs) {
    const timespec until = toTimespec(deadlineNs);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

// The echo proves the peer has taken the byte while the rate was still 360
// baud. It stays in the input, which is flushed after the pause.
bool PosixSerialLine::waitForWakeUpEcho(long long deadlineNs) {
    for (;;) {
        int pending = 0;
        if (portHandle < 0) return false;
        if (ioctl(portHandle, FIONREAD, &pending) == 0 && pending > 0) return true;
        const long long left = deadlineNs - nowNs();
        if (left <= 0) return false;
        pollfd p[2] = {{portHandle, POLLIN, 0}, {interruptFd_, POLLIN, 0}};
        const timespec wait = toTimespec(std::min(left, 5 * kMs));
        const int r = ppoll(p, interruptFd_ >= 0 ? 2 : 1, &wait, nullptr);
        if (r > 0 && interruptFd_ >= 0 && (p[1].revents & POLLIN)) return false;
        if (r > 0 && (p[0].revents & (POLLHUP | POLLERR | POLLNVAL))) return false;
    }
}

void PosixSerialLine::sendWakeUpPulse() {
    reopenIfLost();
    if (portHandle < 0) return;
    awaitQuietLine();
    const long long start = nowNs();
    wakeUpUsedBreak_ = !setLineSpeed(portHandle, wakeUpBaudRate);
    if (wakeUpUsedBreak_) {
        // 25 ms low without the byte: the driver cannot make 360 baud.
        setLineSpeed(portHandle, lineBaudRate);
        ioctl(portHandle, TIOCSBRK);
        pauseUntil(start + 25 * kMs);
        ioctl(portHandle, TIOCCBRK);
    } else {
        discardInput();  // a late answer byte is not the echo
        writeAll(&wakeUpByte, 1);
        if (portHandle >= 0) tcdrain(portHandle);
        if (pseudoTerminal_) {
            const int grace = lastExchangeEchoed_ ? kWakeUpEchoGraceMs : kWakeUpSilentGraceMs;
            waitForWakeUpEcho(start + (lineTimeouts.wakeUpPauseMs + grace) * kMs);
        }
    }
    pauseUntil(start + lineTimeouts.wakeUpPauseMs * kMs);
    discardInput();
    if (portHandle >= 0 && !wakeUpUsedBreak_) setLineSpeed(portHandle, lineBaudRate);
}

}  // namespace m797
