#include "ecu/elm327_line.h"

#include <poll.h>

#include <cerrno>
#include <ctime>
#include <span>

namespace m797 {
namespace {

constexpr long long kMs = 1000000LL;
constexpr std::uint8_t kStartCommunication = 0x81;
constexpr std::uint8_t kStopCommunication = 0x82;
constexpr int kQuietMs = 150;  // no more prompts within this: nothing stale is coming

long long deadlineAfter(int ms) { return AdapterPort::nowNs() + ms * kMs; }

bool refused(const std::string& reply) { return reply.find('?') != std::string::npos; }

// Printable and short, for a message naming what a wrong device said.
std::string quoted(const std::string& reply) {
    std::string shown;
    for (char c : reply) {
        if (shown.size() >= 40) return "'" + shown + "...'";
        shown += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return "'" + shown + "'";
}

struct AdapterFailure {
    int error = 0;
    std::string text;
};

bool mentions(const std::string& reply, const char* word) { return reply.find(word) != std::string::npos; }

}  // namespace

Elm327Line::Elm327Line(std::string name, unsigned baudRate, Elm327Timeouts timeouts)
    : portName(std::move(name)), givenBaud_(baudRate), timeouts_(timeouts) {}

// Set-up and initialisation are short and bounded: a pause waits for their
// prompt, so the adapter is never left half-way through them.
bool Elm327Line::command(const std::string& line, int timeoutMs, std::string& reply) {
    reply.clear();
    port_.discardInput();
    if (!port_.write(line + "\r")) return false;
    lastText_.clear();
    const AdapterPort::ReadEnd end = port_.readUntilPrompt(lastText_, deadlineAfter(timeoutMs), false);
    reply = elmReplyLine(lastText_, line);
    return end == AdapterPort::ReadEnd::Prompt;
}

bool Elm327Line::openPort() {
    port_.close();
    busUp_ = false;
    interrupted_ = false;
    const std::vector<unsigned> rates = bauds();
    AdapterFailure silent, other;
    for (const unsigned rate : rates) {
        if (openAt(rate)) {
            foundBaud_ = rate;
            if (!setUp()) return false;
            busUp_ = false;
            return true;
        }
        const int error = port_.lastErrorNumber();
        if (error != ETIMEDOUT && error != EPROTO) return false;  // the device's own failure
        AdapterFailure& kept = error == ETIMEDOUT ? silent : other;
        if (kept.error == 0) kept = {error, port_.lastErrorText()};
        if (stopAsked()) break;
    }
    // A device that answered, but not as an ELM327, says more than silence.
    if (other.error != 0)
        port_.fail(other.error, other.text);
    else if (rates.size() > 1)
        port_.fail(ETIMEDOUT,
                   "no answer from an ELM327 adapter at 38400, 9600, 115200, 57600 or 230400 baud "
                   "(switched on and plugged in?)");
    else
        port_.fail(silent.error, silent.text);
    return false;
}

// The given rate; else the ones to search, the last found first.
std::vector<unsigned> Elm327Line::bauds() const {
    if (givenBaud_ != kSearchBaud || isTcpPortName(portName))
        return {givenBaud_ != kSearchBaud ? givenBaud_ : kDefaultBaud};
    std::vector<unsigned> rates{foundBaud_ != 0 ? foundBaud_ : kDefaultBaud};
    for (const unsigned rate : kSearchedBauds)
        if (rate != rates.front()) rates.push_back(rate);
    return rates;
}

bool Elm327Line::openAt(unsigned rate) {
    if (!port_.open(portName, rate, timeouts_.connectMs)) return false;
    headerTarget_ = 0x10;
    headerSource_ = 0xF1;
    return resetAndIdentify(rate);
}

// Between two rates of a search: a stop (or a pause) does not wait for the rest.
bool Elm327Line::stopAsked() const {
    if (interruptFd_ < 0) return false;
    pollfd p{interruptFd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

// A warm start (AT WS) leaves the adapter as after power-up without the long
// self-test of AT Z; adapters without it get AT Z. Then AT I must name an
// ELM327: a plain K-line adapter only echoes, other devices say other things.
bool Elm327Line::resetAndIdentify(unsigned rate) {
    std::string reply;
    bool answered = command("ATWS", timeouts_.resetMs, reply);
    if (answered && refused(reply)) answered = command("ATZ", timeouts_.resetMs, reply);
    if (answered) settle();
    if (answered) answered = command("ATI", timeouts_.commandMs, reply);
    if (answered && isElm327Identity(reply)) {
        identity_ = reply;
        return true;
    }
    if (!port_.isOpen()) return false;  // lost on the way: the port's own error
    if (lastText_.empty() && reply.empty())
        port_.fail(ETIMEDOUT, "no answer from an ELM327 adapter at " + std::to_string(rate) +
                                  " baud (switched on? another baud rate: --baud)");
    else
        port_.fail(EPROTO, "the device answers at " + std::to_string(rate) +
                               " baud, but is no ELM327 adapter (it said " +
                               quoted(reply.empty() ? lastText_ : reply) + ")");
    return false;
}

// Text the adapter still had on its way from before (an answer to a program
// that went away mid-request) would pair every later reply with the command
// before it: after the reset the line waits until the adapter is quiet.
void Elm327Line::settle() {
    std::string stale;
    while (port_.readUntilPrompt(stale, deadlineAfter(kQuietMs), false) == AdapterPort::ReadEnd::Prompt) {
    }
}

bool Elm327Line::setUp() {
    std::string reply;
    for (const ElmSetupStep& step : elmSetupSteps()) {
        const bool answered = command(step.command, timeouts_.commandMs, reply);
        if (!port_.isOpen()) return false;
        if (step.mustSucceed && (!answered || refused(reply))) {
            port_.fail(EPROTO, std::string("the adapter refused ") + step.command + " (" + step.why + ")");
            return false;
        }
    }
    withCount_ = true;
    hasFastInit_ = true;
    return true;
}

void Elm327Line::closePort() {
    port_.close();
    busUp_ = false;
    reopenWanted_ = false;
    interrupted_ = false;
}

void Elm327Line::lost() {
    port_.close();
    busUp_ = false;
    reopenWanted_ = true;
}

// The adapter makes the wake-up itself, with the StartCommunication that
// follows. A lost adapter is looked for again here, as a new connection
// starts with a wake-up.
void Elm327Line::sendWakeUpPulse() {
    if (!port_.isOpen() && reopenWanted_) {
        const long long start = AdapterPort::nowNs();
        reopenWanted_ = !openPort();
        if (reopenWanted_) waitOutAttempt(start);
    }
    busUp_ = false;
    initWanted_ = true;
}

// A Wi-Fi adapter that is gone refuses a connection at once: each attempt
// still takes as long as one without a plain adapter, so the loop gives up
// after as many seconds, not within a moment. A pause ends the wait.
void Elm327Line::waitOutAttempt(long long startNs) {
    const long long left = startNs + kReopenAttemptMs * kMs - AdapterPort::nowNs();
    if (left <= 0) return;
    pollfd p{interruptFd_, POLLIN, 0};
    const timespec wait{static_cast<time_t>(left / 1000000000LL), static_cast<long>(left % 1000000000LL)};
    ppoll(&p, interruptFd_ >= 0 ? 1 : 0, &wait, nullptr);
}

bool Elm327Line::selectHeader(std::uint8_t target, std::uint8_t source) {
    if (target == headerTarget_ && source == headerSource_) return true;
    std::string reply;
    if (!command(elmHeaderCommand(target, source), timeouts_.commandMs, reply) || refused(reply)) return false;
    headerTarget_ = target;
    headerSource_ = source;
    return true;
}

bool Elm327Line::fastInit(const ElmRequest& request, ElmAnswer& answer) {
    std::string reply;
    if (!hasFastInit_ || !selectHeader(request.target, request.source)) return false;
    if (!command("ATFI", timeouts_.fastInitMs, reply)) {
        answer.outcome = ElmOutcome::NoConnection;
        return true;
    }
    if (refused(reply)) {
        hasFastInit_ = false;  // the first request initialises the bus instead
        return false;
    }
    if (mentions(reply, "ERROR") || mentions(reply, "UNABLE") || !mentions(reply, "OK")) {
        answer.outcome = ElmOutcome::NoConnection;
        return true;
    }
    busUp_ = true;
    std::uint8_t key1 = 0, key2 = 0;
    if (!command("ATKW", timeouts_.commandMs, reply) || !parseElmKeyBytes(reply, key1, key2)) return false;
    answer.outcome = ElmOutcome::Frames;
    answer.bytes = startCommunicationAnswer(request.source, request.target, key1, key2);
    return true;
}

// Writes the request; the answer is read to the prompt (or a pause cuts the
// read, which continueRead goes on with).
ElmAnswer Elm327Line::sendRequest(const ElmRequest& request) {
    pendingText_.clear();
    pendingRequest_ = request;
    port_.discardInput();
    if (!port_.write(request.text + "\r")) return finishRequest(pendingText_, AdapterPort::ReadEnd::Lost);
    const int timeoutMs = busUp_ ? timeouts_.requestMs : timeouts_.fastInitMs;
    return finishRequest(pendingText_, port_.readUntilPrompt(pendingText_, deadlineAfter(timeoutMs)));
}

ElmAnswer Elm327Line::finishRequest(std::string& text, AdapterPort::ReadEnd end) {
    ElmAnswer answer;
    answer.outcome = ElmOutcome::NoData;
    if (end == AdapterPort::ReadEnd::Interrupted) {
        interrupted_ = true;
        return answer;
    }
    if (end != AdapterPort::ReadEnd::Prompt) {
        lost();  // silent or gone: no adapter, as the plain line reads it
        return answer;
    }
    answer = parseElmAnswer(text);
    if (withCount_ && pendingRequest_.text.size() % 2 == 1 && text.find('?') != std::string::npos &&
        answer.bytes.empty()) {
        // Adapters before version 1.3 refuse the response count: once more
        // without it, and without it from then on if that is understood.
        ElmRequest plain = pendingRequest_;
        plain.text.pop_back();
        withCount_ = false;
        answer = sendRequest(plain);
        if (answer.outcome == ElmOutcome::Damaged && answer.bytes.empty()) withCount_ = true;
        return answer;
    }
    if (answer.outcome == ElmOutcome::Frames) busUp_ = true;
    if (answer.outcome == ElmOutcome::NoConnection) busUp_ = false;
    return answer;
}

std::uint32_t Elm327Line::exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                                   std::uint32_t capacity) {
    interrupted_ = false;
    if (!port_.isOpen()) return 0;
    const std::span<const std::uint8_t> frame(request, length);
    pendingFrame_.assign(request, request + length);
    const ElmRequest r = elmRequestFor(frame, withCount_ ? 1 : 0);
    ElmAnswer got;  // NoData: the echo alone
    // A frame the control unit would throw away (bad checksum) is not sent;
    // nothing to stop on a bus that is not initialised.
    const bool nothingToSend = !r.valid || (r.service == kStopCommunication && !busUp_);
    if (!nothingToSend) {
        const bool initialised = r.service == kStartCommunication && initWanted_ && fastInit(r, got);
        if (r.service == kStartCommunication) initWanted_ = false;
        if (!initialised && port_.isOpen() && selectHeader(r.target, r.source)) got = sendRequest(r);
        if (interrupted_) return 0;
    }
    if (!port_.isOpen()) {
        reopenWanted_ = true;
        return 0;
    }
    return layOutAsPlainAdapter(frame, got, answer, capacity);
}

std::uint32_t Elm327Line::continueRead(std::uint8_t* answer, std::uint32_t got, std::uint32_t capacity) {
    if (!interrupted_ || !port_.isOpen()) return got;
    interrupted_ = false;
    const ElmAnswer read = finishRequest(pendingText_,
                                         port_.readUntilPrompt(pendingText_, deadlineAfter(timeouts_.requestMs)));
    if (interrupted_) return got;
    if (!port_.isOpen()) return got;
    return layOutAsPlainAdapter(pendingFrame_, read, answer, capacity);
}

}  // namespace m797
