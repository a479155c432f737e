#pragma once
// The simulated engine control unit: answers the KWP2000 requests of the
// program (tester 0xF1, control unit 0x10) after a fast-init wake-up, keeps
// two stored trouble codes, the forced actuator outputs and an engine.

#include <cstdint>
#include <vector>

#include "sim/engine_model.h"

namespace m797::sim {

using Bytes = std::vector<std::uint8_t>;

// How the control unit takes the actuator requests (service 0x30).
enum class ActuatorAnswers {
    Normal,
    Refused,  // every one answered 7F 30 31, nothing forced or released
    Silent,   // none answered, nothing forced or released
};

struct EcuBehaviour {
    bool otherKeyBytes = false;   // StartCommunication with key bytes F0 8E (still ends in C3)
    int liveDataStopsAfter = -1;  // live data answers of the first session before it goes silent
    double silentAfterResetS = 1.0;
    ActuatorAnswers actuatorAnswers = ActuatorAnswers::Normal;
    // A session ends this long after the last request (ISO 14230 P3max).
    double sessionTimeoutS = 5.0;
    bool refuseTroubleCodes = false;  // the trouble-code read is answered 7F 18 22
};

struct TroubleCode {
    std::uint8_t high, low, status;
};

// Forced output of an actuator local id (service 0x30).
struct ForcedOutput {
    bool forced = false;
    std::uint8_t value = 0;
};

class SimulatedEcu {
public:
    explicit SimulatedEcu(EcuBehaviour behaviour = {});

    // A 0x00 byte received at 360 baud.
    void wakeUp(double now);
    // A complete frame with a good checksum; the answer bytes, empty for silence.
    Bytes answer(const Bytes& frame, double now);

    bool sessionActive() const { return active_; }
    const std::vector<TroubleCode>& troubleCodes() const { return codes_; }
    ForcedOutput forcedOutput(std::uint8_t localId) const { return forced_[localId]; }
    bool engineRunning() const { return engine_.running(); }
    void setEngineRunning(bool running) { engine_.setRunning(running); }
    int resets() const { return resets_; }
    void setActuatorAnswers(ActuatorAnswers answers) { behaviour_.actuatorAnswers = answers; }
    const EngineModel& engine() const { return engine_; }

private:
    Bytes startCommunication();
    Bytes stopCommunication();
    Bytes readLocalIdentifier(std::uint8_t id);
    Bytes ecuIdentification();
    Bytes troubleCodesAnswer();
    Bytes clearTroubleCodes();
    Bytes ioControl(const Bytes& frame);
    Bytes ecuReset(std::uint8_t mode, double now);
    std::uint8_t naturalState(std::uint8_t localId) const;

    EcuBehaviour behaviour_;
    EngineModel engine_;
    bool awake_ = false;
    bool active_ = false;
    bool liveDataLost_ = false;
    int liveDataAnswers_ = 0;
    double silentUntil_ = -1;
    double lastRequestAt_ = 0;
    int resets_ = 0;
    std::vector<TroubleCode> codes_;
    ForcedOutput forced_[256];
};

// A frame from the control unit to the tester: format 0x80 + n (or 0x80 and
// a length byte past 63 data bytes), F1 10, the data, the checksum.
Bytes answerFrame(const Bytes& data);

}  // namespace m797::sim
