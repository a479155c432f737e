#include "sim/elm327_simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ecu/line_speed.h"
#include "sim/pseudo_terminal.h"

namespace m797::sim {
namespace {

constexpr std::size_t kCommandLogLimit = 100000;
constexpr auto kSendSlice = std::chrono::milliseconds(1);  // text leaves in 1 ms chunks, as from a USB adapter

bool setError(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

namespace {

// The control unit's own faults, as the K-line simulator's.
EcuBehaviour behaviourFor(const SimOptions& o) {
    EcuBehaviour b;
    b.otherKeyBytes = o.fault == Fault::OtherKeyBytes;
    b.liveDataStopsAfter = o.fault == Fault::LiveDataStops ? o.liveDataStopsAfter : -1;
    return b;
}

}  // namespace

Elm327Simulator::Elm327Simulator(Elm327Options options)
    : options_(std::move(options)),
      ecu_(behaviourFor(options_.base)),
      interpreter_(ecu_, options_.fault, options_.base.realTiming) {}

Elm327Simulator::~Elm327Simulator() { stop(); }

bool Elm327Simulator::start(std::string* error) {
    if (!openPseudoTerminal(master_, slave_, slavePath_, 38400, error)) {
        stop();
        return false;
    }
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (options_.tcpPort >= 0) {
        listen_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(options_.tcpPort));
        if (listen_ < 0 || bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(listen_, 2) != 0) {
            const std::string what = "listen on 127.0.0.1:" + std::to_string(options_.tcpPort);
            stop();
            return setError(error, what);
        }
        socklen_t length = sizeof a;
        getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &length);
        boundPort_ = ntohs(a.sin_port);
    }
    const std::string& link = options_.base.linkPath;
    if (!link.empty()) {
        struct stat st {};
        if (lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(link.c_str());
        if (::symlink(slavePath_.c_str(), link.c_str()) != 0) {
            stop();
            return setError(error, "link " + link);
        }
    }
    started_ = Clock::now();
    thread_ = std::thread([this] { run(); });
    return true;
}

void Elm327Simulator::stop() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    const std::string& link = options_.base.linkPath;
    if (!link.empty() && !slavePath_.empty()) {
        char target[256] = {};
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && slavePath_ == target) ::unlink(link.c_str());
    }
    for (int* fd : {&client_, &listen_, &slave_, &master_, &stopFd_}) closeFd(*fd);
}

std::vector<std::string> Elm327Simulator::commands() const {
    std::lock_guard guard(mutex_);
    return commands_;
}

void Elm327Simulator::clearCommands() {
    std::lock_guard guard(mutex_);
    commands_.clear();
}

EcuSnapshot Elm327Simulator::ecu() const {
    std::lock_guard guard(mutex_);
    return snapshotOf(ecu_);
}

void Elm327Simulator::setEngineRunning(bool running) {
    std::lock_guard guard(mutex_);
    ecu_.setEngineRunning(running);
}

double Elm327Simulator::secondsSinceStart(Clock::time_point t) const {
    return std::chrono::duration<double>(t - started_).count();
}

Elm327Simulator::Clock::duration Elm327Simulator::charTime(int fd) const {
    if (!options_.base.realTiming) return Clock::duration::zero();
    const unsigned baud = fd == master_ ? readLineSpeed(master_) : options_.tcpBaud;
    if (baud == 0) return Clock::duration::zero();
    return std::chrono::nanoseconds(10 * 1000000000LL / baud);  // start, 8 data and stop bit
}

std::chrono::nanoseconds Elm327Simulator::nextWait(Clock::time_point now) const {
    std::chrono::nanoseconds wait = std::chrono::milliseconds(200);
    if (outgoing_.empty()) return wait;
    const Outgoing& o = outgoing_.front();
    const Clock::time_point due = o.start + o.perChar * static_cast<long>(o.sent + 1);
    const Clock::time_point last = o.start + o.perChar * static_cast<long>(o.text.size());
    // Woken at most every slice while text flows; exactly for its last character.
    const Clock::time_point wake = std::max(due, std::min(last, now + kSendSlice));
    return std::max(std::chrono::nanoseconds::zero(),
                    std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now));
}

void Elm327Simulator::run() {
    for (;;) {
        const std::chrono::nanoseconds wait = nextWait(Clock::now());
        const auto seconds = std::chrono::floor<std::chrono::seconds>(wait);
        timespec timeout{};
        timeout.tv_sec = seconds.count();
        timeout.tv_nsec = (wait - seconds).count();
        pollfd p[4] = {{stopFd_, POLLIN, 0}, {master_, POLLIN, 0}, {listen_, POLLIN, 0}, {client_, POLLIN, 0}};
        const int r = ppoll(p, 4, &timeout, nullptr);
        if (r < 0 && errno != EINTR) return;
        if (p[0].revents & POLLIN) return;
        if (unplugged_ && client_ >= 0) dropClient();
        if (p[2].revents & POLLIN) acceptClient();
        if (p[1].revents & POLLIN) readFrom(master_, masterPartial_);
        if (client_ >= 0 && (p[3].revents & (POLLIN | POLLHUP | POLLERR))) readFrom(client_, clientPartial_);
        sendDue(Clock::now());
    }
}

// One client at a time, as a Wi-Fi adapter takes; a new one replaces the old.
void Elm327Simulator::acceptClient() {
    const int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (unplugged_) {
        ::close(fd);
        return;
    }
    dropClient();
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // text leaves as it is due
    client_ = fd;
}

void Elm327Simulator::dropClient() {
    outgoing_.erase(
        std::remove_if(outgoing_.begin(), outgoing_.end(), [this](const Outgoing& o) { return o.fd == client_; }),
        outgoing_.end());
    clientPartial_.clear();
    closeFd(client_);
}

void Elm327Simulator::readFrom(int fd, std::string& partial) {
    char buffer[512];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        if (fd == client_ && (n == 0 || (errno != EAGAIN && errno != EINTR))) dropClient();
        return;
    }
    if (unplugged_) return;  // a pulled adapter hears nothing
    if (fd == master_ && options_.adapterBaud != 0 && readLineSpeed(master_) != options_.adapterBaud) {
        answerGarbled(fd, n);
        return;
    }
    for (ssize_t i = 0; i < n; ++i) {
        const char c = buffer[i];
        if (c == '\r') {
            onLine(fd, partial);
            partial.clear();
        } else if (c != '\n' && partial.size() < 256) {
            partial += c;
        }
    }
}

// At another rate than the adapter's, what each side sends reads as other
// bytes: never a prompt, never a whole line.
void Elm327Simulator::answerGarbled(int fd, long received) {
    static constexpr unsigned char kGarbled[] = {0xF8, 0x80, 0x78, 0xE0, 0x86, 0x00};
    const std::size_t count = std::min<std::size_t>(sizeof kGarbled, static_cast<std::size_t>(received));
    [[maybe_unused]] const ssize_t w = ::write(fd, kGarbled, count);
}

void Elm327Simulator::onLine(int fd, const std::string& line) {
    const Clock::time_point now = Clock::now();
    ElmReply reply;
    {
        std::lock_guard guard(mutex_);
        if (commands_.size() >= kCommandLogLimit)
            commands_.erase(commands_.begin(), commands_.begin() + kCommandLogLimit / 2);
        commands_.push_back(line);
        reply = interpreter_.onLine(line, secondsSinceStart(now));
    }
    // The line took its own time over the wire before its carriage return.
    const Clock::duration perChar = charTime(fd);
    Clock::time_point start = now + perChar * static_cast<long>(line.size() + 1) + reply.busy;
    if (!outgoing_.empty()) {
        const Outgoing& last = outgoing_.back();
        start = std::max(start, last.start + last.perChar * static_cast<long>(last.text.size()));
    }
    outgoing_.push_back({fd, reply.text, 0, start, perChar});
}

void Elm327Simulator::sendDue(Clock::time_point now) {
    while (!outgoing_.empty()) {
        Outgoing& o = outgoing_.front();
        if (unplugged_) {
            outgoing_.pop_front();
            continue;
        }
        std::size_t due = o.text.size();
        if (o.perChar > Clock::duration::zero())
            due = now < o.start ? 0
                                : std::min(o.text.size(), static_cast<std::size_t>((now - o.start) / o.perChar));
        else if (now < o.start)
            due = 0;
        if (due > o.sent) {
            const char* text = o.text.data() + o.sent;
            const ssize_t w = o.fd == master_ ? ::write(o.fd, text, due - o.sent)
                                              : ::send(o.fd, text, due - o.sent, MSG_NOSIGNAL);
            if (w > 0) o.sent += static_cast<std::size_t>(w);
            if (w < 0 && errno != EAGAIN && errno != EINTR) o.sent = o.text.size();  // the reader is gone
        }
        if (o.sent < o.text.size()) return;
        outgoing_.pop_front();
    }
}

}  // namespace m797::sim
