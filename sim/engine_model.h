#pragma once
// A petrol engine idling and being blipped, for the simulated control unit:
// idle near 850 rpm, the coolant warming up, throttle blips with rpm, load
// and injection time following, the lambda probe swinging. It writes its
// state into the live-data blocks at the byte places the decoding reads.

#include <cstdint>

namespace m797::sim {

constexpr int kLive01DataBytes = 65;  // buffer positions 12..76 of the 0x01 answer
constexpr int kLive03DataBytes = 17;  // buffer positions 11..27 of the 0x03 answer

struct EngineState {
    double rpm = 0;
    double targetIdleRpm = 850;
    double coolantC = 20;
    double intakeAirC = 25;
    double throttlePercent = 0;
    double loadPercent = 0;
    double injectionMs = 0;
    double airMassKgH = 0;
    double ignitionDeg = 0;
    double lambdaVolts = 0.45;
    double batteryVolts = 12.4;
    double runSeconds = 0;
};

class EngineModel {
public:
    // Moves the engine to `seconds` after the simulator started.
    void advance(double seconds);
    void setRunning(bool running) { running_ = running; }
    bool running() const { return running_; }
    const EngineState& state() const { return state_; }

    void fillLive01(std::uint8_t data[kLive01DataBytes], std::uint8_t storedErrors) const;
    void fillLive03(std::uint8_t data[kLive03DataBytes]) const;

private:
    bool running_ = true;
    EngineState state_;
};

}  // namespace m797::sim
