#pragma once
// The acquisition thread: the only code that talks to the control unit.
// Created suspended; "Старт" resumes it, "Стоп" pauses it between exchanges
// (cutting a read in progress short), and exit stops and joins it.

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "app/record/record_lock.h"
#include "ecu/answer_check.h"
#include "ecu/line_gate.h"
#include "ecu/link_status.h"
#include "ecu/live_data_decoder.h"
#include "ecu/pausable_line.h"
#include "ecu/request_table.h"
#include "ecu/value_text.h"

namespace m797 {

class SerialLine;

class Com_Port {
public:
    Com_Port(LiveRecord& record, std::unique_ptr<SerialLine> line, char decimalSeparator = localeDecimalPoint());
    ~Com_Port();
    Com_Port(const Com_Port&) = delete;
    Com_Port& operator=(const Com_Port&) = delete;

    void resume();
    void suspend();
    // Serves pending actuator releases first (poll cycles, even while
    // suspended, connecting first where a switched output waits for its
    // release or the session may have lapsed, until the control unit has
    // confirmed every release or 2 s have passed), then stops the loop,
    // joins the thread and closes the port.
    void terminate();
    bool isSuspended() const;

    // Set the handlers before the first resume. All are called on the
    // acquisition thread.
    // The loop gave up after ten failed connection starts; the window side
    // posts it to its own thread.
    void setGiveUpHandler(std::function<void()> handler);
    // End of every poll cycle, under the thread's lock on the record (copy what
    // is needed, work after). gotLiveData: both live-data answers were well
    // formed and were decoded into the record.
    void setCycleObserver(std::function<void(const RecordLock&, bool gotLiveData)> observer);
    // Before the cycle observer, without the lock: where a consumer that
    // falls behind (a replay's log) holds the thread up, so that the window
    // never waits for it. `stopAsked` turns true on "Стоп" and at the end.
    void setBeforeCycleObserver(std::function<void(const std::function<bool()>& stopAsked)> observer);
    // Every time statusText is set (also to the text it already had).
    void setStatusObserver(std::function<void(const LinkEvent& event)> observer);
    // After the identification of an accepted connection: the eleven texts,
    // copied under the lock and handed over after it is released.
    using Identification = std::array<Text, 11>;
    void setConnectionObserver(std::function<void(const Identification&)> observer);
    // The line has nothing more to give (a replayed trace ended): the status
    // says "Конец записи." and the thread ends instead of reconnecting.
    void setEndOfLineHandler(std::function<void()> handler);

    // The first negative answer of each kind (request service, its parameter,
    // response code). Without an observer it goes to stderr.
    void setNegativeAnswerObserver(std::function<void(const std::string& message)> observer);

    RequestTable& requests() { return table_; }

    // Link state, for tests and the exit path.
    bool portOpen() const { return portOpen_.load(); }
    bool connectionActive() const { return connectionActive_.load(); }
    long pollCycles() const { return pollCycles_.load(); }
    long cyclesWithData() const { return cyclesWithData_.load(); }
    long cyclesWithoutData() const { return std::max(0L, pollCycles_.load() - cyclesWithData_.load()); }
    AnswerCounts badAnswers() const;

private:
    enum class StartResult { Accepted, NoEcho, WrongKeyBytes, LineNoise };

    void run();
    void pass();
    bool openIfClosed();
    void startConnection();
    void forgetActuatorStates();
    Identification identification() const;
    StartResult startCommunication();
    void readIdentification();
    void fillIdentTexts();
    void pollCycle();
    void liveDataFailed(bool answerArrived, bool noise);
    bool judge(const CheckedRequest& checked, std::uint32_t received);
    AnswerFault verdictOn(const CheckedRequest& checked, std::uint32_t received);
    void reportNegative(const Request& request, std::uint8_t code);
    void giveUp(LinkStatus finalStatus);
    void setStatus(LinkStatus status);
    void serveReleasesBeforeExit();
    void endOfLine();

    LiveRecord& record_;
    std::unique_ptr<SerialLine> ownLine_;
    LineGate gate_;
    PausableLine line_;
    RequestTable table_;
    AnswerRules rules_{table_};
    LiveDataDecoder decoder_;

    std::function<void()> onGiveUp_;
    std::function<void(const RecordLock&, bool)> onCycle_;
    std::function<void(const std::function<bool()>&)> beforeCycle_;
    std::function<void(const LinkEvent&)> onStatus_;
    std::function<void(const Identification&)> onConnection_;
    std::function<void()> onEndOfLine_;
    std::function<void(const std::string&)> onNegative_;

    std::atomic<bool> portOpen_{false};
    std::atomic<bool> connectionActive_{false};
    std::atomic<bool> running_{false};
    std::atomic<long> pollCycles_{0};
    std::atomic<long> cyclesWithData_{0};
    std::array<std::atomic<long>, kAnswerFaultKinds> badAnswers_{};
    int failureCount_ = 0;
    bool lastFailureNoise_ = false;  // the last failed start read only noise
    int badLiveDataRun_ = 0;         // ill-formed live-data cycles in a row
    bool identGood_[4] = {};         // A1, A2, A3, ECU identification of this connection
    std::set<std::uint32_t> negativesReported_;

    std::thread thread_;
};

}  // namespace m797
