#pragma once
// A virtual K-line adapter with a control unit behind it, on a pseudo-terminal
// pair: the program opens the slave side like a serial device. The adapter
// echoes every byte; the control unit wakes on a 0x00 received at 360 baud
// (the rate the program set, read back from the master) and answers the
// KWP2000 requests with the line timing of a real car or as fast as it can.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/simulated_ecu.h"

namespace m797::sim {

enum class Fault {
    None,
    NoAdapter,        // nothing comes back
    EchoOnly,         // an adapter without a control unit
    OtherKeyBytes,    // StartCommunication ends in C3, the byte before is not 8F
    LiveDataStops,    // live data ends after liveDataStopsAfter cycles (once)
    Garbled,          // every third answer has a damaged byte
    Truncated,        // every third answer stops half-way
    Slow,             // answers come slowAnswerMs after the request
    BadChecksum,      // every third answer has a wrong checksum
    Negative,         // every third answer is negative: 7F, the service, 0x21 (busy)
    SecondReader,     // another process reads the port too, now and then taking bytes
    ActuatorRefused,  // every actuator request answered 7F 30 31
    ActuatorSilent,   // no actuator request answered
    RefusedCodes,     // the trouble-code read is refused: 7F 18 22
    OtherUnit,        // unit 0x17 sends a frame 3 ms after every answer
    DoubleEcho,       // the adapter echoes every byte twice
    LineNoise,        // a random byte on the line every 2 ms
};

struct SimOptions {
    bool realTiming = true;  // 0.96 ms a byte, 25 ms before an answer; else no delays
    Fault fault = Fault::None;
    int liveDataStopsAfter = 5;
    int slowAnswerMs = 60;
    std::string linkPath;  // a symbolic link to the slave, made at start
};

struct ReceivedFrame {
    Bytes bytes;
    unsigned baud = 0;  // the line rate when the frame came
    bool checksumOk = true;
    std::chrono::steady_clock::time_point at;
};

// Snapshot of the control unit for tests.
struct EcuSnapshot {
    bool sessionActive = false;
    bool engineRunning = false;
    int resets = 0;
    std::vector<TroubleCode> troubleCodes;
    ForcedOutput forced[256];
};

// What a test may look at in the control unit, read once (call under the
// simulator's lock).
EcuSnapshot snapshotOf(const SimulatedEcu& ecu);

class KLineSimulator {
public:
    explicit KLineSimulator(SimOptions options = {});
    ~KLineSimulator();
    KLineSimulator(const KLineSimulator&) = delete;
    KLineSimulator& operator=(const KLineSimulator&) = delete;

    // Creates the pseudo-terminal and starts the simulator thread.
    bool start(std::string* error = nullptr);
    void stop();
    const std::string& slavePath() const { return slavePath_; }

    std::vector<ReceivedFrame> frames() const;
    void clearFrames();
    EcuSnapshot ecu() const;
    void setEngineRunning(bool running);
    // The control unit unplugged (true) or back (false): the adapter still
    // echoes, nothing answers. The control unit keeps its forced outputs.
    void setEcuUnplugged(bool unplugged) { ecuUnplugged_ = unplugged; }
    // From now on the control unit answers actuator requests so.
    void setActuatorAnswers(ActuatorAnswers answers);

private:
    using Clock = std::chrono::steady_clock;

    void run();
    void secondReader();
    void receive(const std::uint8_t* bytes, std::size_t n, unsigned baud, Clock::time_point now);
    void frameComplete(Clock::time_point now, unsigned baud, Clock::time_point echoDone);
    Clock::time_point schedule(const Bytes& bytes, Clock::time_point from, Clock::duration perByte);
    void sendDue(Clock::time_point now);
    Bytes applyFault(Bytes answer);
    void scheduleNoise(Clock::time_point now);
    void logFrame(ReceivedFrame frame);  // mutex_ held
    double secondsSinceStart(Clock::time_point t) const;
    Clock::duration byteTime(unsigned baud) const;

    SimOptions options_;
    int master_ = -1;
    int slave_ = -1;  // held open, so the master never sees a hang-up between the program's opens
    int stopFd_ = -1;
    std::string slavePath_;
    std::thread thread_;
    std::thread secondReader_;
    Clock::time_point started_;

    std::atomic<bool> ecuUnplugged_{false};
    mutable std::mutex mutex_;  // the ECU and the frame log
    SimulatedEcu ecu_;
    std::vector<ReceivedFrame> log_;

    // Simulator thread only.
    Bytes partial_;
    Clock::time_point lastByteAt_;
    unsigned dialogueBaud_ = 10400;  // the last rate above the wake-up rates
    std::multimap<Clock::time_point, std::uint8_t> outgoing_;
    int answersSent_ = 0;
    Clock::time_point nextNoiseAt_{};
    std::uint32_t noiseState_ = 0x2545F491;
};

// Names of the fault modes on the command line ("no-adapter", ...).
bool parseFault(const std::string& name, Fault& out);

}  // namespace m797::sim
