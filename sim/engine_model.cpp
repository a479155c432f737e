#include "sim/engine_model.h"

#include <algorithm>
#include <cmath>

namespace m797::sim {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::uint8_t clampByte(double v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0)); }

void putWord(std::uint8_t* at, double v) {
    const auto w = static_cast<unsigned>(std::clamp(v, 0.0, 65535.0));
    at[0] = static_cast<std::uint8_t>(w >> 8);
    at[1] = static_cast<std::uint8_t>(w & 0xFF);
}

// hi * coarse + lo * fine, the two-byte form of several live-data values.
void putCoarseFine(std::uint8_t* at, double v, double coarse, double fine) {
    v = std::max(v, 0.0);
    const double hi = std::min(std::floor(v / coarse), 255.0);
    at[0] = static_cast<std::uint8_t>(hi);
    at[1] = clampByte((v - hi * coarse) / fine);
}

std::uint8_t signedByte(double v) {
    const int i = static_cast<int>(std::lround(std::clamp(v, -128.0, 127.0)));
    return static_cast<std::uint8_t>(i & 0xFF);
}

// 0..1 throttle opening of a blip every 7 s lasting 1.6 s.
double blip(double t) {
    const double phase = std::fmod(t, 7.0) - 4.0;
    if (phase < 0 || phase > 1.6) return 0;
    return std::sin(kPi * phase / 1.6);
}

}  // namespace

void EngineModel::advance(double t) {
    EngineState& s = state_;
    const double opening = running_ ? blip(t) : 0.0;
    s.throttlePercent = 28.0 * opening;
    s.coolantC = 20.0 + 70.0 * (1.0 - std::exp(-t / 150.0));
    s.intakeAirC = 25.0 + 3.0 * std::sin(t / 40.0);
    s.targetIdleRpm = 850.0 + std::max(0.0, 60.0 - s.coolantC) * 3.0;
    if (!running_) {
        s.rpm = s.loadPercent = s.injectionMs = s.airMassKgH = s.ignitionDeg = 0;
        s.lambdaVolts = 0.45;
        s.batteryVolts = 12.4;
        return;
    }
    const double wobble = 12.0 * std::sin(2 * kPi * t / 0.9) + 6.0 * std::sin(2 * kPi * t / 2.3);
    s.rpm = s.targetIdleRpm + 2000.0 * opening + wobble;
    s.loadPercent = 18.0 + 40.0 * opening + 0.5 * std::sin(t);
    s.injectionMs = 2.6 + 4.5 * opening + 0.05 * std::sin(3 * t);
    s.airMassKgH = 9.0 + 45.0 * opening;
    s.ignitionDeg = 10.0 + 18.0 * opening;
    s.lambdaVolts = 0.45 + 0.38 * std::sin(2 * kPi * t / 1.3);
    s.batteryVolts = 14.1 + 0.1 * std::sin(t / 3.0);
    s.runSeconds = t;
}

void EngineModel::fillLive01(std::uint8_t d[kLive01DataBytes], std::uint8_t storedErrors) const {
    const EngineState& s = state_;
    auto at = [&](int position) { return d + (position - 12); };
    auto temperature = [](double c) { return clampByte((c + 48.0) / 0.75); };
    std::fill(d, d + kLive01DataBytes, 0);
    *at(12) = storedErrors;
    *at(13) = temperature(s.coolantC - 2.0);
    *at(14) = temperature(s.coolantC);
    *at(15) = temperature(s.intakeAirC);
    *at(16) = clampByte(s.batteryVolts * 13.571);
    *at(17) = 0;  // standing still
    *at(18) = clampByte(s.throttlePercent * 2.55);
    *at(19) = clampByte(s.rpm / 40.0);
    putWord(at(20), s.airMassKgH * 10.0);
    *at(22) = signedByte(s.ignitionDeg / 0.75);
    *at(23) = 0;  // no knock retard
    putCoarseFine(at(24), s.loadPercent, 6.0, 0.02345);
    *at(26) = clampByte(s.loadPercent / 0.75);
    putWord(at(28), s.injectionMs / 0.024);
    *at(30) = clampByte(s.targetIdleRpm / 10.0);
    *at(31) = clampByte(20 + s.throttlePercent);
    putCoarseFine(at(32), 2.0 + s.throttlePercent * 0.1, 0.4, 0.00156);
    *at(34) = signedByte(0);
    *at(35) = 0;
    *at(36) = clampByte((s.batteryVolts * 10.0 + 200.0) / 5.215);
    const double lambdaFactor = 1.0 + 0.04 * (s.lambdaVolts - 0.45);
    putCoarseFine(at(37), lambdaFactor, 1.0 / 128.0, 1.0 / 31872.0);
    putCoarseFine(at(39), 1.0, 0.0625, 0.000243);
    *at(41) = clampByte(s.coolantC > 60 ? 40 : 0);
    putCoarseFine(at(42), 3.0 + s.loadPercent * 0.2, 5.0, 0.01952);
    putCoarseFine(at(44), s.rpm * 0.3, 147.338, 1.0 / 1.737);
    at(46)[0] = 0x80;
    at(46)[1] = 0x40;
    putWord(at(58), s.runSeconds);
    putCoarseFine(at(62), 0.6 + s.injectionMs * s.rpm / 8000.0, 0.54933, 1.0 / 463.0);
    at(65)[0] = signedByte(2);
    at(67)[0] = signedByte(3);
    putCoarseFine(at(69), 1.02, 1.0 / 128.0, 1.0 / 31872.0);
    at(71)[0] = signedByte(s.coolantC > 70 ? 20 : 5);
    const bool idle = s.throttlePercent < 0.5;
    const bool warm = s.coolantC > 70;
    *at(74) = static_cast<std::uint8_t>((idle ? 0x01 : 0) | (warm ? 0x02 : 0) | 0x10);
    *at(75) = static_cast<std::uint8_t>((s.lambdaVolts > 0.45 ? 0x01 : 0) | (warm ? 0x04 : 0));
    *at(76) = static_cast<std::uint8_t>(idle ? 0x00 : 0x08);
}

void EngineModel::fillLive03(std::uint8_t d[kLive03DataBytes]) const {
    const EngineState& s = state_;
    auto at = [&](int position) { return d + (position - 11); };
    auto tenBit = [](double volts) { return std::clamp(volts, 0.0, 5.0) * 1024.0 / 5.0; };
    std::fill(d, d + kLive03DataBytes, 0);
    putWord(at(11), s.batteryVolts / 0.0176);
    *at(13) = clampByte((4.2 - s.coolantC * 0.035) * 256.0 / 5.0);
    putWord(at(14), tenBit(1.1 + 0.05 * s.airMassKgH));
    const double throttleVolts = 0.5 + s.throttlePercent * 0.04;
    *at(16) = clampByte(throttleVolts * 256.0 / 5.0);
    *at(17) = 0x40;
    putWord(at(18), tenBit(s.lambdaVolts));
    *at(20) = clampByte(2.5 * 256.0 / 5.0);
    putWord(at(21), tenBit(0.65 + 0.03 * std::sin(s.runSeconds / 5.0)));
    *at(25) = 128;
    putWord(at(26), 0);
}

}  // namespace m797::sim
