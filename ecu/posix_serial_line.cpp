#include "ecu/posix_serial_line.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "ecu/line_speed.h"

namespace m797 {
namespace {

long long nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

constexpr long long kMs = 1000000LL;

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

}  // namespace

PosixSerialLine::PosixSerialLine(std::string device, LineTimeouts timeouts)
    : portName(std::move(device)), lineTimeouts(timeouts) {}

PosixSerialLine::~PosixSerialLine() { closePort(); }

bool PosixSerialLine::fail(const char* what) {
    lastErrno_ = errno;
    lastError_ = std::string(what) + ": " + std::strerror(lastErrno_);
    if (portHandle >= 0) ::close(portHandle);
    portHandle = -1;
    return false;
}

bool PosixSerialLine::openPort() {
    closePort();
    lastErrno_ = 0;
    lastError_.clear();
    portHandle = ::open(portName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (portHandle < 0) return fail("cannot open");
    if (!isatty(portHandle)) {
        errno = ENOTTY;
        return fail("not a serial device");
    }
    ioctl(portHandle, TIOCEXCL);  // no sharing, as the adapter belongs to one program
    if (!configureRawLine(portHandle, lineBaudRate)) {
        if (errno == 0) errno = EINVAL;
        return fail("cannot set 10400 baud 8N1");
    }
    askForLowLatency(portHandle);
    tcflush(portHandle, TCIOFLUSH);
    return true;
}

void PosixSerialLine::closePort() {
    if (portHandle >= 0) ioctl(portHandle, TIOCNXCL);  // the next open may come from anyone
    if (portHandle >= 0) ::close(portHandle);
    portHandle = -1;
}

void PosixSerialLine::lose() { closePort(); }

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
        if (n < 0 && errno != EAGAIN) lose();
        return;
    }
}

std::uint32_t PosixSerialLine::readAnswer(std::uint8_t* answer, std::uint32_t capacity) {
    const long long start = nowNs();
    const long long total =
        start + (static_cast<long long>(lineTimeouts.readTotalMultiplierMs) * capacity +
                 lineTimeouts.readTotalConstantMs) * kMs;
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
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            lose();  // end of file or an I/O error: the device is gone
            break;
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

std::uint32_t PosixSerialLine::exchange(const std::uint8_t* request, std::uint32_t length,
                                        std::uint8_t* answer, std::uint32_t capacity) {
    if (portHandle < 0) return 0;
    discardInput();  // what came after the last read (a late answer) is not this answer
    writeAll(request, length);
    interrupted_ = false;
    const std::uint32_t got = readAnswer(answer, capacity);
    if (!interrupted_) discardInput();
    return got;
}

std::uint32_t PosixSerialLine::continueRead(std::uint8_t* answer, std::uint32_t got, std::uint32_t capacity) {
    if (portHandle < 0 || got >= capacity) return got;
    interrupted_ = false;
    got += readAnswer(answer + got, capacity - got);
    if (!interrupted_) discardInput();
    return got;
}

void PosixSerialLine::pauseUntil(long long deadlineNs) {
    const timespec until = toTimespec(deadlineNs);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

void PosixSerialLine::waitForEcho(long long deadlineNs) {
    while (portHandle >= 0) {
        const long long left = deadlineNs - nowNs();
        if (left <= 0) return;
        pollfd p{portHandle, POLLIN, 0};
        const timespec wait = toTimespec(left);
        const int r = ppoll(&p, 1, &wait, nullptr);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0 || !(p.revents & POLLIN)) return;
        std::uint8_t b = 0xFF;
        const ssize_t n = ::read(portHandle, &b, 1);
        if (n == 1 && b == wakeUpByte) return;
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
    }
}

void PosixSerialLine::sendWakeUpPulse() {
    if (portHandle < 0) return;
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
        // tcdrain on a pseudo-terminal returns before the other side has read
        // the byte (and the rate it came at); the adapter's echo says it has.
        waitForEcho(start + lineTimeouts.wakeUpPauseMs * kMs);
    }
    pauseUntil(start + lineTimeouts.wakeUpPauseMs * kMs);
    discardInput();
    if (portHandle >= 0 && !wakeUpUsedBreak_) setLineSpeed(portHandle, lineBaudRate);
}

}  // namespace m797
