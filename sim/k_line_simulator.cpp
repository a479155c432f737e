#include "sim/k_line_simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/record/write_all.h"
#include "ecu/line_speed.h"
#include "sim/pseudo_terminal.h"

namespace m797::sim {
namespace {

constexpr unsigned kSlowestDialogueBaud = 1200;  // below it a byte is a wake-up attempt
constexpr unsigned kWakeUpBaud = 360;
constexpr auto kFrameGap = std::chrono::milliseconds(30);  // a pause that ends a partial frame
constexpr std::size_t kLogLimit = 200000;  // a simulator left running for days keeps the newest half
constexpr std::uint8_t kOtherUnit = 0x17;
constexpr auto kOtherUnitDelay = std::chrono::milliseconds(3);
constexpr auto kNoiseInterval = std::chrono::milliseconds(2);

bool setError(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
}

std::size_t frameLength(const Bytes& b) {
    if (b.empty()) return 0;
    const std::size_t n = b[0] & 0x3F;
    if (n != 0) return 3 + n + 1;
    if (b.size() < 4) return 0;  // length byte still to come
    return 4 + b[3] + 1;
}

bool checksumOk(const Bytes& f) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < f.size(); ++i) sum += f[i];
    return static_cast<std::uint8_t>(sum & 0xFF) == f.back();
}

// The same answer as another unit on the line would send it: source 0x17,
// its own checksum. Readers of fixed positions cannot tell it from ours.
Bytes otherUnitFrame(Bytes answer) {
    answer[2] = kOtherUnit;
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < answer.size(); ++i) sum += answer[i];
    answer.back() = static_cast<std::uint8_t>(sum & 0xFF);
    return answer;
}

// Every byte twice, as an adapter that echoes twice sends it back.
Bytes doubled(const std::uint8_t* bytes, std::size_t n) {
    Bytes out;
    for (std::size_t i = 0; i < n; ++i) out.insert(out.end(), {bytes[i], bytes[i]});
    return out;
}

}  // namespace

bool parseFault(const std::string& name, Fault& out) {
    static const std::pair<const char*, Fault> names[] = {{"none", Fault::None},
                                                          {"no-adapter", Fault::NoAdapter},
                                                          {"echo-only", Fault::EchoOnly},
                                                          {"other-key-bytes", Fault::OtherKeyBytes},
                                                          {"live-data-stops", Fault::LiveDataStops},
                                                          {"garbled", Fault::Garbled},
                                                          {"truncated", Fault::Truncated},
                                                          {"slow", Fault::Slow},
                                                          {"bad-checksum", Fault::BadChecksum},
                                                          {"negative", Fault::Negative},
                                                          {"second-reader", Fault::SecondReader},
                                                          {"actuator-refused", Fault::ActuatorRefused},
                                                          {"actuator-silent", Fault::ActuatorSilent},
                                                          {"refused-codes", Fault::RefusedCodes},
                                                          {"other-unit", Fault::OtherUnit},
                                                          {"double-echo", Fault::DoubleEcho},
                                                          {"line-noise", Fault::LineNoise}};
    for (const auto& [n, f] : names)
        if (name == n) {
            out = f;
            return true;
        }
    return false;
}

namespace {

ActuatorAnswers actuatorAnswersOf(Fault f) {
    if (f == Fault::ActuatorRefused) return ActuatorAnswers::Refused;
    if (f == Fault::ActuatorSilent) return ActuatorAnswers::Silent;
    return ActuatorAnswers::Normal;
}

}  // namespace

KLineSimulator::KLineSimulator(SimOptions options)
    : options_(std::move(options)),
      ecu_(EcuBehaviour{options_.fault == Fault::OtherKeyBytes,
                        options_.fault == Fault::LiveDataStops ? options_.liveDataStopsAfter : -1, 1.0,
                        actuatorAnswersOf(options_.fault), EcuBehaviour{}.sessionTimeoutS,
                        options_.fault == Fault::RefusedCodes}) {}

KLineSimulator::~KLineSimulator() { stop(); }

bool KLineSimulator::start(std::string* error) {
    if (!openPseudoTerminal(master_, slave_, slavePath_, 10400, error)) {
        stop();
        return false;
    }
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (!options_.linkPath.empty()) {
        struct stat st {};
        if (lstat(options_.linkPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(options_.linkPath.c_str());
        if (::symlink(slavePath_.c_str(), options_.linkPath.c_str()) != 0) {
            stop();
            return setError(error, "link " + options_.linkPath);
        }
    }
    started_ = Clock::now();
    nextNoiseAt_ = started_;
    thread_ = std::thread([this] { run(); });
    if (options_.fault == Fault::SecondReader) secondReader_ = std::thread([this] { secondReader(); });
    return true;
}

void KLineSimulator::stop() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    if (secondReader_.joinable()) secondReader_.join();
    if (!options_.linkPath.empty() && !slavePath_.empty()) {
        char target[256] = {};
        const ssize_t n = readlink(options_.linkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && slavePath_ == target) ::unlink(options_.linkPath.c_str());
    }
    for (int* fd : {&slave_, &master_, &stopFd_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

std::vector<ReceivedFrame> KLineSimulator::frames() const {
    std::lock_guard guard(mutex_);
    return log_;
}

void KLineSimulator::clearFrames() {
    std::lock_guard guard(mutex_);
    log_.clear();
}

EcuSnapshot snapshotOf(const SimulatedEcu& ecu) {
    EcuSnapshot s;
    s.sessionActive = ecu.sessionActive();
    s.engineRunning = ecu.engineRunning();
    s.resets = ecu.resets();
    s.troubleCodes = ecu.troubleCodes();
    for (int id = 0; id < 256; ++id) s.forced[id] = ecu.forcedOutput(static_cast<std::uint8_t>(id));
    return s;
}

EcuSnapshot KLineSimulator::ecu() const {
    std::lock_guard guard(mutex_);
    return snapshotOf(ecu_);
}

void KLineSimulator::setEngineRunning(bool running) {
    std::lock_guard guard(mutex_);
    ecu_.setEngineRunning(running);
}

void KLineSimulator::setActuatorAnswers(ActuatorAnswers answers) {
    std::lock_guard guard(mutex_);
    ecu_.setActuatorAnswers(answers);
}

void KLineSimulator::logFrame(ReceivedFrame frame) {
    if (log_.size() >= kLogLimit) log_.erase(log_.begin(), log_.begin() + kLogLimit / 2);
    log_.push_back(std::move(frame));
}

double KLineSimulator::secondsSinceStart(Clock::time_point t) const {
    return std::chrono::duration<double>(t - started_).count();
}

KLineSimulator::Clock::duration KLineSimulator::byteTime(unsigned baud) const {
    if (!options_.realTiming || baud == 0) return Clock::duration::zero();
    return std::chrono::microseconds(10 * 1000000LL / baud);  // start, 8 data and stop bit
}

void KLineSimulator::run() {
    std::uint8_t buffer[512];
    for (;;) {
        if (options_.fault == Fault::LineNoise) scheduleNoise(Clock::now());
        // Byte times are kept to the microsecond: a wait rounded to whole
        // milliseconds would stretch every answer.
        std::chrono::nanoseconds wait = std::chrono::milliseconds(200);
        if (!outgoing_.empty())
            wait = std::max(std::chrono::nanoseconds::zero(), std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                                  outgoing_.begin()->first - Clock::now()));
        const auto seconds = std::chrono::floor<std::chrono::seconds>(wait);
        timespec timeout{};
        timeout.tv_sec = seconds.count();
        timeout.tv_nsec = (wait - seconds).count();
        pollfd p[2] = {{master_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        const int r = ppoll(p, 2, &timeout, nullptr);
        if (r < 0 && errno != EINTR) return;
        if (p[1].revents & POLLIN) return;
        const Clock::time_point at = Clock::now();
        if (r > 0 && (p[0].revents & POLLIN)) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) receive(buffer, static_cast<std::size_t>(n), readLineSpeed(master_), at);
        }
        sendDue(Clock::now());
    }
}

void KLineSimulator::receive(const std::uint8_t* bytes, std::size_t n, unsigned baud, Clock::time_point now) {
    const bool adapter = options_.fault != Fault::NoAdapter;
    Clock::time_point echoDone = now;
    if (adapter) {
        const Bytes echo = options_.fault == Fault::DoubleEcho ? doubled(bytes, n) : Bytes(bytes, bytes + n);
        echoDone = schedule(echo, now, byteTime(baud));
    }
    if (now - lastByteAt_ > kFrameGap) partial_.clear();
    lastByteAt_ = now;
    const bool slow = baud != 0 && baud < kSlowestDialogueBaud;
    if (baud != 0 && !slow) dialogueBaud_ = baud;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = bytes[i];
        // A pty carries no rate with its bytes: the rate read back is the one
        // set when the simulator takes them, which on a loaded machine may
        // already be the next one. At a wake-up rate the program sends one
        // byte, never a frame, so a format byte or a byte continuing a frame
        // was written at the dialogue rate before the program switched.
        const bool frameByte = !partial_.empty() || (b & 0x80) != 0;
        // The other way round: a lone 0x00 outside a frame is never written
        // at the dialogue rate. It is the wake-up byte, taken after the
        // program had gone back to 10400.
        const bool lateWakeUp = !slow && !frameByte && b == 0x00;
        if ((slow && !frameByte) || lateWakeUp) {
            std::lock_guard guard(mutex_);
            logFrame({{b}, slow ? baud : kWakeUpBaud, true, now});
            if (b == 0x00 && options_.fault != Fault::NoAdapter && options_.fault != Fault::EchoOnly &&
                !ecuUnplugged_)
                ecu_.wakeUp(secondsSinceStart(now));
            continue;
        }
        if (!frameByte) continue;  // not a format byte
        partial_.push_back(b);
        const std::size_t need = frameLength(partial_);
        if (need != 0 && partial_.size() == need) frameComplete(now, slow ? dialogueBaud_ : baud, echoDone);
    }
}

void KLineSimulator::frameComplete(Clock::time_point now, unsigned baud, Clock::time_point echoDone) {
    Bytes frame;
    frame.swap(partial_);
    const bool ok = checksumOk(frame);
    Bytes answer;
    {
        std::lock_guard guard(mutex_);
        logFrame({frame, baud, ok, now});
        const bool ecuPresent = options_.fault != Fault::NoAdapter && options_.fault != Fault::EchoOnly &&
                                !ecuUnplugged_;
        if (ok && ecuPresent) answer = ecu_.answer(frame, secondsSinceStart(now));
    }
    if (answer.empty()) return;
    const bool startCommunication = frame.size() > 3 && frame[3] == 0x81;
    if (!startCommunication) answer = applyFault(std::move(answer));
    // Without line timing the answer goes out with the echo in one write, so a
    // simulator thread held up by a loaded machine never splits the two.
    Clock::duration delay = options_.realTiming ? std::chrono::milliseconds(25) : Clock::duration::zero();
    if (options_.fault == Fault::Slow) delay = std::chrono::milliseconds(options_.slowAnswerMs);
    const Clock::time_point answerDone = schedule(answer, echoDone + delay, byteTime(baud));
    if (options_.fault == Fault::OtherUnit) {
        const Clock::duration gap = options_.realTiming ? Clock::duration(kOtherUnitDelay)
                                                        : Clock::duration::zero();
        schedule(otherUnitFrame(answer), answerDone + gap, byteTime(baud));
    }
}

// Noise bytes are queued a little ahead, among the bytes of echo and answers.
void KLineSimulator::scheduleNoise(Clock::time_point now) {
    while (nextNoiseAt_ <= now + std::chrono::milliseconds(20)) {
        noiseState_ = noiseState_ * 1664525u + 1013904223u;
        outgoing_.emplace(nextNoiseAt_, static_cast<std::uint8_t>(noiseState_ >> 24));
        nextNoiseAt_ += kNoiseInterval;
    }
}

Bytes KLineSimulator::applyFault(Bytes answer) {
    const Fault f = options_.fault;
    if (f != Fault::Garbled && f != Fault::Truncated && f != Fault::BadChecksum && f != Fault::Negative)
        return answer;
    if (++answersSent_ % 3 != 0) return answer;
    switch (f) {
    case Fault::Truncated: answer.resize(answer.size() / 2); break;
    case Fault::BadChecksum: answer.back() ^= 0x01; break;
    case Fault::Negative: {
        const std::size_t service = (answer[0] & 0x3F) == 0 ? 4 : 3;
        answer = answerFrame({0x7F, static_cast<std::uint8_t>(answer[service] - 0x40), 0x21});
        break;
    }
    default: answer[answer.size() / 2] ^= 0x5A; answer[2] = 0x00;  // the source byte too
    }
    return answer;
}

// Like a modem manager probing a new adapter: it wakes every 100 ms and for
// 10 ms reads the port beside the program without waiting, so a read of the
// program woken for bytes may find them already taken and return 0.
void KLineSimulator::secondReader() {
    const int fd = slave_;  // raw with VMIN 0: a read takes what is there and never waits
    std::uint8_t sink[256];
    for (;;) {
        pollfd stop{stopFd_, POLLIN, 0};
        if (poll(&stop, 1, 90) != 0) break;
        const auto until = Clock::now() + std::chrono::milliseconds(10);
        while (Clock::now() < until) {  // reads at once, as a prober does: the program's read may find nothing
            if (::read(fd, sink, sizeof sink) < 0 && errno != EAGAIN && errno != EINTR) return;
        }
    }
}

KLineSimulator::Clock::time_point KLineSimulator::schedule(const Bytes& bytes, Clock::time_point from,
                                                           Clock::duration perByte) {
    Clock::time_point t = from;
    for (std::uint8_t b : bytes) {
        t += perByte;
        outgoing_.emplace(t, b);
    }
    return t;
}

void KLineSimulator::sendDue(Clock::time_point now) {
    std::uint8_t out[512];
    std::size_t n = 0;
    while (!outgoing_.empty() && outgoing_.begin()->first <= now && n < sizeof out) {
        out[n++] = outgoing_.begin()->second;
        outgoing_.erase(outgoing_.begin());
    }
    writeAll(master_, out, n);  // a reader gone takes nothing more
}

}  // namespace m797::sim
