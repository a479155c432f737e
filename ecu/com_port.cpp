#include "ecu/com_port.h"

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>

#include "ecu/actuator_session.h"
#include "ecu/diagnostic_services.h"
#include "ecu/line_ended.h"
#include "ecu/serial_line.h"

namespace m797 {
namespace {

constexpr int kGiveUpAfter = 10;
// Ill-formed live-data cycles in a row that count as a lost answer.
constexpr int kBadLiveDataCyclesLost = 3;
constexpr auto kReleaseGrace = std::chrono::seconds(2);
// StartCommunication's positive answer C1 with its two key bytes (buffer
// positions 9 and 10 after the 5-byte echo); checked only to tell noise.
constexpr AnswerRule kStartRule{0, 10};

// Stands in when no line was made: the port never opens.
class NoLine : public SerialLine {
public:
    bool openPort() override { return false; }
    std::uint32_t exchange(const std::uint8_t*, std::uint32_t, std::uint8_t*, std::uint32_t) override { return 0; }
    void sendWakeUpPulse() override {}
    void closePort() override {}
    std::string lastErrorText() const override { return "no serial line"; }
};

// Byte i of the n bytes read, or -1 where nothing was read: a missing byte
// never matches a key byte.
int byteRead(const Request& r, std::uint32_t n, long i) {
    return i >= 0 && i < static_cast<long>(n) ? r.answer[i] : -1;
}

void appendBytes(Text& text, const std::uint8_t* answer, int first, int last) {
    text.assign(reinterpret_cast<const char*>(answer + first), static_cast<std::size_t>(last - first) + 1);
}

}  // namespace

Com_Port::Com_Port(LiveRecord& record, std::unique_ptr<SerialLine> line, char decimalSeparator)
    : record_(record),
      ownLine_(line ? std::move(line) : std::make_unique<NoLine>()),
      line_(*ownLine_, gate_),
      decoder_(decimalSeparator) {
    storeSetValueFrameHeads(record_);
    thread_ = std::thread([this] { run(); });
}

Com_Port::~Com_Port() { terminate(); }

// The gate is the thread's whole run state: open while running, closed while
// suspended, stopped for good at exit.
void Com_Port::resume() { gate_.open(); }
void Com_Port::suspend() { gate_.close(); }
bool Com_Port::isSuspended() const { return !gate_.isOpen(); }

void Com_Port::setGiveUpHandler(std::function<void()> handler) { onGiveUp_ = std::move(handler); }

void Com_Port::setCycleObserver(std::function<void(const RecordLock&, bool)> observer) {
    onCycle_ = std::move(observer);
}

void Com_Port::setBeforeCycleObserver(std::function<void(const std::function<bool()>&)> observer) {
    beforeCycle_ = std::move(observer);
}

void Com_Port::setStatusObserver(std::function<void(const LinkEvent&)> observer) {
    onStatus_ = std::move(observer);
}

void Com_Port::setConnectionObserver(std::function<void(const Identification&)> observer) {
    onConnection_ = std::move(observer);
}

Com_Port::Identification Com_Port::identification() const {
    Identification texts;
    const RecordLock held(record_);
    std::copy(std::begin(record_.identText), std::end(record_.identText), texts.begin());
    return texts;
}

void Com_Port::setEndOfLineHandler(std::function<void()> handler) { onEndOfLine_ = std::move(handler); }

// A replay that has run out is not a lost link: say so and stop, rather than
// wake a control unit that is not there.
void Com_Port::endOfLine() {
    connectionActive_ = false;
    setStatus(LinkStatus::EndOfRecording);
    if (onEndOfLine_) onEndOfLine_();
}

void Com_Port::setNegativeAnswerObserver(std::function<void(const std::string&)> observer) {
    onNegative_ = std::move(observer);
}

AnswerCounts Com_Port::badAnswers() const {
    AnswerCounts counts;
    for (int k = 0; k < kAnswerFaultKinds; ++k) counts.byKind[k] = badAnswers_[k].load();
    return counts;
}

bool Com_Port::judge(const CheckedRequest& checked, std::uint32_t received) {
    return verdictOn(checked, received) == AnswerFault::None;
}

// A bad answer is counted by kind; a negative one is also told once per
// request and response code.
AnswerFault Com_Port::verdictOn(const CheckedRequest& checked, std::uint32_t received) {
    const AnswerVerdict verdict = checkAnswer(*checked.request, received, checked.rule);
    if (verdict.ok()) return AnswerFault::None;
    ++badAnswers_[static_cast<int>(verdict.fault)];
    if (verdict.fault == AnswerFault::Negative) reportNegative(*checked.request, verdict.negativeCode);
    return verdict.fault;
}

void Com_Port::reportNegative(const Request& request, std::uint8_t code) {
    const std::uint32_t key = (request.frame[3] << 16) | (request.frame[4] << 8) | code;
    if (!negativesReported_.insert(key).second) return;
    const std::string message = "negative answer to " + hexByte(request.frame[3]) + " " +
                                hexByte(request.frame[4]) + ": response code 0x" + hexByte(code);
    if (onNegative_)
        onNegative_(message);
    else
        std::fprintf(stderr, "m797diag: %s\n", message.c_str());
}

// An actuator the user forced must not stay forced because the program ended:
// let the loop send the releases the window has just asked for. Where an output
// was switched and the link is down (reconnecting, given up, paused), the loop
// connects for it; the control unit keeps a forced output until told.
void Com_Port::serveReleasesBeforeExit() {
    if (!actuatorReleasePending(record_)) return;
    if (!connectionActive_ && !ActuatorSession::drivenOutputAwaitsRelease(record_)) return;
    gate_.open();
    const auto deadline = std::chrono::steady_clock::now() + kReleaseGrace;
    // The loop suspends itself when the port cannot be opened or it gives up.
    while (actuatorReleasePending(record_) && running_ && gate_.isOpen() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void Com_Port::terminate() {
    if (thread_.joinable()) {
        serveReleasesBeforeExit();
        gate_.stop();
        thread_.join();
    }
    line_.closePort();
    portOpen_ = false;
    connectionActive_ = false;
}

void Com_Port::setStatus(LinkStatus status) {
    const std::string& text = linkStatusText(status);
    {
        const RecordWriteLock held(record_);
        record_.statusText = text;
    }
    if (!onStatus_) return;
    const int errorNumber = status == LinkStatus::PortOpenFailed ? line_.lastErrorNumber() : 0;
    onStatus_(LinkEvent{status, errorNumber});
}

void Com_Port::run() {
    running_ = true;
    try {
        while (gate_.waitOpen()) pass();
    } catch (const LineStopped&) {
        // The program ends; the port is closed by terminate().
    } catch (const LineEnded&) {
        endOfLine();
    }
    running_ = false;
}

void Com_Port::pass() {
    if (!openIfClosed()) {
        suspend();
        if (!gate_.waitOpen()) throw LineStopped();
    }
    try {
        if (!connectionActive_) startConnection();
        if (connectionActive_) pollCycle();
    } catch (const SessionLapsed&) {
        connectionActive_ = false;  // the requests not yet written wait for the new connection
    }
}

bool Com_Port::openIfClosed() {
    if (portOpen_) return true;
    if (line_.openPort()) {
        setStatus(LinkStatus::Connecting);
        portOpen_ = true;
        return true;
    }
    setStatus(LinkStatus::PortOpenFailed);
    portOpen_ = false;
    return false;
}

Com_Port::StartResult Com_Port::startCommunication() {
    Request& start = table_.startCommunication;
    start.answer[0] = 0x00;  // stale bytes of an earlier answer must not pass the test
    start.answer[10] = 0xFF;
    // The answer is found among other units' frames and a doubled echo and
    // put right after the echo: a checked C1 whose last key byte is 8F (its
    // checksum C3 then makes the first EF) is accepted. Without one, bytes of
    // no frame are line noise; otherwise the last byte read tells an adapter
    // that brought no answer from a control unit that answered otherwise.
    const std::uint32_t n = exchangeRequest(line_, start);
    const AnswerVerdict verdict = checkAnswer(start, n, kStartRule);
    if (verdict.fault == AnswerFault::Noise) return StartResult::LineNoise;
    if (verdict.ok() && byteRead(start, n, static_cast<long>(n) - 2) == 0x8F) return StartResult::Accepted;
    if (byteRead(start, n, static_cast<long>(n) - 1) != 0xC3) return StartResult::NoEcho;
    return StartResult::WrongKeyBytes;
}

void Com_Port::startConnection() {
    line_.dropSession();
    forgetActuatorStates();
    forgetTroubleCodes(record_);
    exchangeRequest(line_, table_.stopCommunication);
    line_.sendWakeUpPulse();
    const StartResult result = startCommunication();
    switch (result) {
    case StartResult::NoEcho:
    case StartResult::LineNoise:
        lastFailureNoise_ = result == StartResult::LineNoise;
        setStatus(lastFailureNoise_ ? LinkStatus::LineNoise : LinkStatus::CheckAdapter);
        ++failureCount_;
        connectionActive_ = false;
        break;
    case StartResult::WrongKeyBytes:
        exchangeRequest(line_, table_.stopCommunication);
        ++failureCount_;
        setStatus(LinkStatus::NoAnswer);
        {
            const RecordWriteLock held(record_);
            for (Text& t : record_.identText) t.clear();
        }
        if (failureCount_ == kGiveUpAfter) {
            giveUp(LinkStatus::EcuNotAnswering);
            return;
        }
        break;
    case StartResult::Accepted:
        line_.holdSession();
        readIdentification();
        failureCount_ = 0;
        badLiveDataRun_ = 0;
        connectionActive_ = true;
        if (onConnection_) onConnection_(identification());
        break;
    }
    // Ten failures of a line that carried only noise do not blame the adapter.
    if (failureCount_ == kGiveUpAfter)
        giveUp(lastFailureNoise_ ? LinkStatus::LineNoise : LinkStatus::AdapterMissing);
}

void Com_Port::readIdentification() {
    const CheckedRequest* order[4] = {&rules_.identA1, &rules_.identA2, &rules_.identA3,
                                      &rules_.ecuIdentification};
    for (int i = 0; i < 4; ++i) identGood_[i] = judge(*order[i], exchangeRequest(line_, *order[i]->request));
    fillIdentTexts();
}

void Com_Port::fillIdentTexts() {
    enum { A1, A2, A3, EcuId };  // index into identGood_
    struct Source {
        int answer;
        int first, last;
    };
    static constexpr Source sources[11] = {{EcuId, 12, 28}, {EcuId, 29, 44}, {EcuId, 45, 54}, {EcuId, 55, 64},
                                           {EcuId, 65, 79}, {EcuId, 80, 86}, {EcuId, 87, 96}, {EcuId, 97, 104},
                                           {A2, 11, 17},    {A1, 11, 17},    {A3, 11, 20}};
    const Request* requests[4] = {&table_.identA1, &table_.identA2, &table_.identA3, &table_.ecuIdentification};
    const RecordWriteLock held(record_);
    for (int i = 0; i < 11; ++i) {
        record_.identText[i].clear();  // an answer that failed its check shows nothing
        const Source& s = sources[i];
        if (identGood_[s.answer]) appendBytes(record_.identText[i], requests[s.answer]->answer, s.first, s.last);
    }
}

void Com_Port::pollCycle() {
    Request& live01 = table_.liveData01;
    Request& live03 = table_.liveData03;
    live01.answer[8] = 0;
    const std::uint32_t received01 = exchangeRequest(line_, live01);
    const std::uint32_t received03 = exchangeRequest(line_, live03);
    serveDiagnosticRequests(line_, table_, record_);
    // Both answers are judged, so each bad one is counted.
    const AnswerFault fault01 = verdictOn(rules_.liveData01, received01);
    const AnswerFault fault03 = verdictOn(rules_.liveData03, received03);
    const bool gotLiveData = fault01 == AnswerFault::None && fault03 == AnswerFault::None;
    if (gotLiveData) {
        {
            const RecordWriteLock held(record_);
            decoder_.decode(live01.answer, live03.answer, held);
        }
        badLiveDataRun_ = 0;
        setStatus(LinkStatus::DataReceived);
        ++cyclesWithData_;
        record_.newSample = 1;  // the charts hold their line through a bad cycle
    } else {
        const bool noise = fault01 == AnswerFault::Noise || fault03 == AnswerFault::Noise;
        liveDataFailed(fault01 != AnswerFault::NoAnswer && live01.answer[8] != 0, noise);
    }
    record_.linkUp = 1;
    ++pollCycles_;
    if (beforeCycle_) beforeCycle_([this] { return !gate_.isOpen(); });
    if (onCycle_) {
        const RecordLock held(record_);
        onCycle_(held, gotLiveData);
    }
}

// No answer at all ends the connection at once; damaged ones only when they
// keep coming, as a line that garbles now and then still carries data. Noise
// that spoiled an answer is named on the status strip.
void Com_Port::liveDataFailed(bool answerArrived, bool noise) {
    if (noise) setStatus(LinkStatus::LineNoise);
    if (!answerArrived || ++badLiveDataRun_ >= kBadLiveDataCyclesLost) {
        badLiveDataRun_ = 0;
        connectionActive_ = false;  // the next pass wakes the control unit again
    }
}

// A new connection knows nothing yet of the outputs' states: the actuator
// window shows none until the control unit has reported it again.
void Com_Port::forgetActuatorStates() {
    const RecordWriteLock held(record_);
    for (ActuatorEntry& a : record_.actuator) a.stateText.clear();
}

void Com_Port::giveUp(LinkStatus finalStatus) {
    line_.closePort();
    setStatus(finalStatus);
    failureCount_ = 0;
    connectionActive_ = false;
    portOpen_ = false;
    suspend();
    if (onGiveUp_) onGiveUp_();
}

}  // namespace m797
