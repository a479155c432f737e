#include "ecu/adapter_port.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>

#include "ecu/line_speed.h"
#include "ecu/port_holder.h"

namespace m797 {
namespace {

constexpr long long kMs = 1000000LL;

bool deviceGone(int error) { return error == EIO || error == ENODEV || error == ENXIO; }

timespec toTimespec(long long ns) {
    if (ns < 0) ns = 0;
    return timespec{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
}

// Waits for the socket's connect to finish; the result of the connect.
int awaitConnect(int fd, int timeoutMs) {
    pollfd p{fd, POLLOUT, 0};
    const int r = poll(&p, 1, timeoutMs);
    if (r == 0) return ETIMEDOUT;
    if (r < 0) return errno;
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    return error;
}

}  // namespace

bool isTcpPortName(std::string_view name) { return name.substr(0, kTcpPortPrefix.size()) == kTcpPortPrefix; }

bool parseTcpPortName(std::string_view name, std::string& host, int& port) {
    if (!isTcpPortName(name)) return false;
    const std::string_view rest = name.substr(kTcpPortPrefix.size());
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    const std::string_view digits = rest.substr(colon + 1);
    int value = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size()) return false;
    if (value < 1 || value > 65535) return false;
    host = std::string(rest.substr(0, colon));
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    port = value;
    return true;
}

AdapterPort::~AdapterPort() { close(); }

long long AdapterPort::nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

void AdapterPort::fail(int errorNumber, std::string text) {
    close();
    lastErrno_ = errorNumber;
    lastError_ = std::move(text);
}

bool AdapterPort::failErrno(const std::string& what) {
    const int error = errno;
    fail(error, what + ": " + std::strerror(error));
    return false;
}

bool AdapterPort::open(const std::string& name, unsigned baud, int connectTimeoutMs) {
    close();
    lastErrno_ = 0;
    lastError_.clear();
    return isTcpPortName(name) ? openTcp(name, connectTimeoutMs) : openDevice(name, baud);
}

// A serial device held alone as the K-line port is (lock and TIOCEXCL), raw
// 8N1 at the adapter's rate.
bool AdapterPort::openDevice(const std::string& name, unsigned baud) {
    fd_ = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return failErrno("cannot open");
    tty_ = isatty(fd_);
    if (!tty_) {
        errno = ENOTTY;
        return failErrno("not a serial device");
    }
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const std::string holder = describePortHolder(name, getpid());
        errno = EBUSY;
        failErrno("the port is in use");
        if (!holder.empty()) lastError_ += " (held by " + holder + ")";
        return false;
    }
    ioctl(fd_, TIOCEXCL);
    if (!configureRawLine(fd_, baud)) {
        if (errno == 0) errno = EINVAL;
        return failErrno("cannot set " + std::to_string(baud) + " baud 8N1");
    }
    tcflush(fd_, TCIOFLUSH);
    return true;
}

bool AdapterPort::openTcp(const std::string& name, int connectTimeoutMs) {
    std::string host;
    int port = 0;
    if (!parseTcpPortName(name, host, port)) {
        errno = EINVAL;
        return failErrno("not a TCP address (tcp:HOST:PORT)");
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int r = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (r != 0) {
        fail(EHOSTUNREACH, "cannot find " + host + ": " + gai_strerror(r));
        return false;
    }
    int error = ECONNREFUSED;
    for (addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
        fd_ = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd_ < 0) continue;
        error = ::connect(fd_, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (error == EINPROGRESS) error = awaitConnect(fd_, connectTimeoutMs);
        if (error != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    freeaddrinfo(found);
    if (fd_ < 0) {
        errno = error;
        return failErrno("cannot connect to " + host + ":" + std::to_string(port));
    }
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // a request is one short line
    tcp_ = true;
    return true;
}

void AdapterPort::close() {
    if (fd_ < 0) return;
    if (tty_) ioctl(fd_, TIOCNXCL);
    ::close(fd_);  // also drops the lock
    fd_ = -1;
    tcp_ = tty_ = false;
}

void AdapterPort::lose() { close(); }

bool AdapterPort::write(std::string_view text) {
    std::size_t done = 0;
    const long long deadline = nowNs() + 1000 * kMs;
    while (done < text.size() && fd_ >= 0) {
        const ssize_t n = tcp_ ? ::send(fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL)
                               : ::write(fd_, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN && nowNs() < deadline) {
            pollfd p{fd_, POLLOUT, 0};
            poll(&p, 1, 10);
            continue;
        }
        if (n < 0 && (deviceGone(errno) || errno == EPIPE || errno == ECONNRESET)) lose();
        return false;
    }
    return fd_ >= 0;
}

AdapterPort::ReadEnd AdapterPort::readUntilPrompt(std::string& text, long long deadlineNs, bool interruptible) {
    char buffer[512];
    const int interruptFd = interruptible ? interruptFd_ : -1;
    while (fd_ >= 0) {
        const long long left = deadlineNs - nowNs();
        if (left <= 0) return ReadEnd::TimedOut;
        pollfd p[2] = {{fd_, POLLIN, 0}, {interruptFd, POLLIN, 0}};
        const timespec wait = toTimespec(left);
        const int r = ppoll(p, interruptFd >= 0 ? 2 : 1, &wait, nullptr);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return ReadEnd::TimedOut;
        if (r == 0) continue;
        if (interruptFd >= 0 && (p[1].revents & POLLIN)) return ReadEnd::Interrupted;
        if (p[0].revents & POLLIN) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                const std::string_view got(buffer, static_cast<std::size_t>(n));
                const std::size_t prompt = got.find('>');
                text.append(got.substr(0, prompt));
                if (prompt != std::string_view::npos) return ReadEnd::Prompt;
                continue;
            }
            // A socket's end of file is the adapter gone; a tty with VMIN 0
            // reads 0 for "nothing yet", and tells a gone device by hang-up.
            if ((n == 0 && tcp_) || (n < 0 && (deviceGone(errno) || errno == ECONNRESET))) break;
            if (n < 0 && errno != EINTR && errno != EAGAIN) break;
        }
        if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) break;
    }
    lose();
    return ReadEnd::Lost;
}

void AdapterPort::discardInput() {
    if (fd_ < 0) return;
    if (tty_) {
        tcflush(fd_, TCIFLUSH);
        return;
    }
    char sink[512];
    while (::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
}

}  // namespace m797
