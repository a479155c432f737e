#pragma once
// A simulated ELM327 adapter with the simulated control unit behind it: on a
// pseudo-terminal (the program opens its slave like a USB or Bluetooth
// adapter) and, when asked, on a TCP port of 127.0.0.1 (a Wi-Fi adapter).
// The text goes out at the baud rate the program set on the pseudo-terminal
// (over TCP at `tcpBaud`), after the time the adapter is busy on the K-line.
// One adapter: both ways reach the same adapter state and control unit.

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/elm327_interpreter.h"
#include "sim/k_line_simulator.h"

namespace m797::sim {

struct Elm327Options {
    SimOptions base;  // timing, control-unit faults, --link
    ElmFault fault = ElmFault::None;
    int tcpPort = -1;          // -1: no TCP; 0: a free port (see tcpPort())
    unsigned tcpBaud = 38400;  // pace of the text over TCP
    // The adapter's own rate on the pseudo-terminal: text the program sends
    // at another rate reaches it garbled and gets garbled bytes back, as on
    // a real line. 0: whatever rate the program sets.
    unsigned adapterBaud = 0;
};

class Elm327Simulator {
public:
    explicit Elm327Simulator(Elm327Options options = {});
    ~Elm327Simulator();
    Elm327Simulator(const Elm327Simulator&) = delete;
    Elm327Simulator& operator=(const Elm327Simulator&) = delete;

    bool start(std::string* error = nullptr);
    void stop();
    const std::string& slavePath() const { return slavePath_; }
    // The TCP port listened on, or -1.
    int tcpPort() const { return boundPort_; }

    // The adapter pulled out (true) or back (false): it reads and answers
    // nothing, and a TCP connection is dropped and refused.
    void setUnplugged(bool unplugged) { unplugged_ = unplugged; }
    // Every command line received, in order.
    std::vector<std::string> commands() const;
    void clearCommands();
    EcuSnapshot ecu() const;
    void setEngineRunning(bool running);

private:
    using Clock = std::chrono::steady_clock;
    struct Outgoing {
        int fd;
        std::string text;
        std::size_t sent = 0;
        Clock::time_point start;
        Clock::duration perChar;
    };

    void run();
    void acceptClient();
    void readFrom(int fd, std::string& partial);
    void onLine(int fd, const std::string& line);
    void answerGarbled(int fd, long received);
    void sendDue(Clock::time_point now);
    Clock::duration charTime(int fd) const;
    void dropClient();
    double secondsSinceStart(Clock::time_point t) const;
    std::chrono::nanoseconds nextWait(Clock::time_point now) const;

    Elm327Options options_;
    int master_ = -1;
    int slave_ = -1;
    int listen_ = -1;
    int client_ = -1;
    int stopFd_ = -1;
    int boundPort_ = -1;
    std::string slavePath_;
    std::thread thread_;
    Clock::time_point started_;
    std::atomic<bool> unplugged_{false};

    mutable std::mutex mutex_;  // the control unit, the interpreter and the command log
    SimulatedEcu ecu_;
    Elm327Interpreter interpreter_;
    std::vector<std::string> commands_;

    // Simulator thread only.
    std::string masterPartial_, clientPartial_;
    std::deque<Outgoing> outgoing_;
};

}  // namespace m797::sim
