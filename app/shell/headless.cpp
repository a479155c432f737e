#include "app/shell/headless.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <clocale>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/record/cp1251.h"
#include "app/record/live_record.h"
#include "app/shell/command_line.h"
#include "app/shell/csv_log.h"
#include "app/shell/link_source.h"
#include "app/shell/link_start.h"
#include "ecu/adapter_port.h"
#include "ecu/com_port.h"
#include "ecu/link_status.h"

namespace m797 {
namespace {

// The signals that end a run the way its end does (summary, log whole):
// Ctrl+C, a polite kill, and the terminal hanging up (a closed window or a
// dropped remote session).
sigset_t stopSignals() {
    sigset_t s;
    sigemptyset(&s);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&s, signal);
    return s;
}

using Clock = std::chrono::steady_clock;

// Panel labels of the eleven identification lines, in identText order.
const char* const kIdentLabels[11] = {"Модель автомобиля", "Серийный номер", "Код ЭБУ",          "Код программы",
                                      "Двигатель",         "Код запчастей",  "Подготовка ПЗУ",   "Идентификатор",
                                      "Двигатель",         "Кузов",          "Дата изготовления"};

// Machine-readable number with a point whatever the locale.
std::string fixed(double v, int decimals) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

// Bytes from the control unit may be anything: keep control characters off the terminal.
std::string printable(const Text& cp1251) {
    Text safe = cp1251;
    for (char& c : safe) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) c = '.';
    }
    return cp1251ToUtf8(safe);
}

class HeadlessRun {
public:
    HeadlessRun(const CommandLine& cl, const HeadlessOptions& o) : cl_(cl), o_(o), started_(Clock::now()) {}

    int run() {
        std::string error;
        if (!cl_.logPath.empty() && !(error = log_.open(cl_.logPath)).empty()) {
            printError(error);
            return kHeadlessPortFailed;
        }
        if (!log_.notice().empty()) printError(log_.notice());
        if (!startSource()) return kHeadlessPortFailed;
        auto line = source_.makeLine(o_.timeouts);
        SerialLine* lineSeen = line.get();
        log_.useClock(source_.lineClock());
        log_.letSourceWait(!cl_.replayPath.empty());  // a replay waits for the disk; a car does not
        std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
        LiveRecord& record = *ownedRecord;
        Com_Port port(record, std::move(line), localeDecimalPoint());
        port.setStatusObserver([this](const LinkEvent& event) { statusChanged(event.status); });
        port.setConnectionObserver([this](const Com_Port::Identification& texts) { printIdentification(texts); });
        log_.setFailureHandler([this](const std::string& problem) { logFailed(problem); });
        // No row once the run has ended: --cycles N logs N cycles however
        // late the end is noticed.
        port.setBeforeCycleObserver(
            [this](const std::function<bool()>& stopAsked) { log_.waitForRoom(stopAsked); });
        port.setCycleObserver([this](const RecordLock& held, bool gotLiveData) {
            if (outcome_ < 0) log_.logCycle(held, gotLiveData);
            cycleDone();
        });
        port.setNegativeAnswerObserver([this](const std::string& message) {
            print(message);
            printError(message);
        });
        port.setGiveUpHandler([this] { finish(kHeadlessGaveUp); });
        port.setEndOfLineHandler([this] { finish(kHeadlessDone); });
        port.resume();
        waitForEnd();
        port.terminate();
        log_.close();  // every row handed over is written (or failed) before the exit status
        if (TraceWriter* recorder = source_.recorder()) recorder->close();  // all on disk before the summary
        if (log_.lostRows() > 0) print("log rows lost: " + std::to_string(log_.lostRows()));
        const bool portFailed = outcome_ == kHeadlessPortFailed && !logFailed_;
        if (portFailed) reportPortFailure(*lineSeen);
        const int status = exitStatus(port);
        if ((portFailed || status == kHeadlessGaveUp) && !cl_.simulate && cl_.replayPath.empty() &&
            !isTcpPortName(cl_.port))
            listSerialDevices();
        printSummary(port);
        return status;
    }

private:
    // The simulator, the port, or the trace to replay; and the recording.
    bool startSource() {
        LinkStartOptions options;
        options.simulator = o_.simulator;
        options.elmFault = o_.elmFault;
        // A FIFO nobody writes to is waited for; the stop signals end the wait.
        options.stopRequested = [] {
            const sigset_t signals = stopSignals();
            const timespec now{0, 0};
            return sigtimedwait(&signals, nullptr, &now) > 0;
        };
        // A lost recording ends the run as a lost log does: the trace is incomplete.
        options.recordingLost = [this](const std::string& message) {
            printError(message);
            outputLost(kHeadlessRecordFailed);
        };
        const LinkStart start = startLink(source_, cl_, options);
        for (const Notice& notice : start.notices) printError(notice.text);
        if (start.failure) printError(*start.failure);
        return !start.failure;
    }

    void printError(const std::string& text) {
        std::lock_guard guard(printing_);
        std::fputs(terminalLine(text).c_str(), o_.err);
    }

    double elapsed(Clock::time_point t) const { return std::chrono::duration<double>(t - started_).count(); }

    // Once the output is closed (a pipe into `head -1`, a closed terminal)
    // nothing more is printed; the run, its log and its status go on as ever.
    void print(const std::string& line) {
        std::lock_guard guard(printing_);
        if (std::ferror(o_.out)) return;
        std::fputs(line.c_str(), o_.out);
        std::fputc('\n', o_.out);
        std::fflush(o_.out);
    }

    void statusChanged(LinkStatus status) {
        if (status != lastStatus_) {
            lastStatus_ = status;
            print("[" + fixed(elapsed(Clock::now()), 3) + " s] " + printable(linkStatusText(status)));
        }
        if (status == LinkStatus::PortOpenFailed) finish(kHeadlessPortFailed);
    }

    void printIdentification(const Com_Port::Identification& texts) {
        for (int i = 0; i < 11; ++i) print(std::string(kIdentLabels[i]) + ": " + printable(texts[i]));
    }

    void cycleDone() {
        const long n = ++cycles_;
        if (n == 1) firstCycle_ = Clock::now();
        lastCycle_ = Clock::now();
        if (cl_.cycles >= 0 && n >= cl_.cycles) finish(kHeadlessDone);
    }

    // The run stops with the last whole row in the file.
    // On the log's writer thread. A row of the last cycles may fail after the
    // run was done: the log is still incomplete, so the run ends with the
    // log's failure.
    void logFailed(const std::string& error) {
        printError(error);
        outputLost(kHeadlessLogFailed);
    }

    // The log or the recording is incomplete: whatever else ended the run
    // (even a done one), its status says so.
    void outputLost(int status) {
        logFailed_ = true;
        finish(status);
        int done = kHeadlessDone;
        outcome_.compare_exchange_strong(done, status);
    }

    // Success only for a run that got live data.
    int exitStatus(const Com_Port& port) const {
        const int outcome = outcome_;
        if (outcome != kHeadlessDone) return outcome;
        return port.cyclesWithData() > 0 ? kHeadlessDone : kHeadlessGaveUp;
    }

    void finish(int outcome) {
        int expected = -1;
        outcome_.compare_exchange_strong(expected, outcome);
    }

    void waitForEnd() {
        const sigset_t signals = stopSignals();
        const timespec slice{0, 20'000'000};
        while (outcome_ < 0) {
            if (cl_.cycles == 0) finish(kHeadlessDone);
            if (cl_.seconds >= 0 && elapsed(Clock::now()) >= cl_.seconds) finish(kHeadlessDone);
            if (sigtimedwait(&signals, nullptr, &slice) > 0) {
                print("stopped by signal");
                finish(kHeadlessDone);
            }
        }
    }

    void reportPortFailure(const SerialLine& line) {
        std::fputs(portFailureText(source_.device(), line).c_str(), o_.err);
    }

    // Which port to try instead, when the chosen one did not work.
    void listSerialDevices() {
        const std::string list = serialPortListText(listSerialPorts(o_.deviceRoots));
        std::fprintf(o_.err, "m797diag: serial devices on this machine:\n%s", list.c_str());
    }

    void printSummary(const Com_Port& port) {
        const long n = cycles_;
        const double span = n > 1 ? std::chrono::duration<double>(lastCycle_ - firstCycle_).count() : 0.0;
        const double rate = span > 0 ? static_cast<double>(n - 1) / span : 0.0;
        print("poll cycles: " + std::to_string(n) + ", " + fixed(rate, 2) + " cycles/s");
        print("cycles with data: " + std::to_string(port.cyclesWithData()) +
              ", without: " + std::to_string(port.cyclesWithoutData()));
        print("bad answers: " + port.badAnswers().summary());
    }

    const CommandLine& cl_;
    const HeadlessOptions& o_;
    const Clock::time_point started_;
    LinkSource source_;
    CsvLog log_;
    std::mutex printing_;
    std::optional<LinkStatus> lastStatus_;
    std::atomic<int> outcome_{-1};
    std::atomic<bool> logFailed_{false};
    std::atomic<long> cycles_{0};
    Clock::time_point firstCycle_, lastCycle_;
};

// The stop signals are taken with sigtimedwait; every thread started from
// here inherits the blocked mask.
class BlockedStopSignals {
public:
    BlockedStopSignals() {
        const sigset_t s = stopSignals();
        pthread_sigmask(SIG_BLOCK, &s, &previous_);
    }
    ~BlockedStopSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

private:
    sigset_t previous_;
};

}  // namespace

int runHeadless(const CommandLine& commandLine, const HeadlessOptions& options) {
    std::setlocale(LC_ALL, "");
    BlockedStopSignals blocked;
    HeadlessRun run(commandLine, options);
    return run.run();
}

}  // namespace m797
