#include "sim/simulated_ecu.h"

#include <cstring>
#include <string_view>

namespace m797::sim {
namespace {

void appendText(Bytes& out, std::string_view text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) out.push_back(i < text.size() ? text[i] : ' ');
}

Bytes negative(std::uint8_t service, std::uint8_t code) { return answerFrame({0x7F, service, code}); }

constexpr std::uint8_t kIgnition14 = 0x05, kIgnition23 = 0x06, kFuelPump = 0x09;

}  // namespace

Bytes answerFrame(const Bytes& data) {
    Bytes f;
    if (data.size() <= 63) {
        f = {static_cast<std::uint8_t>(0x80 + data.size()), 0xF1, 0x10};
    } else {
        f = {0x80, 0xF1, 0x10, static_cast<std::uint8_t>(data.size())};
    }
    f.insert(f.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t b : f) sum += b;
    f.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    return f;
}

SimulatedEcu::SimulatedEcu(EcuBehaviour behaviour)
    : behaviour_(behaviour), codes_{{0x01, 0x02, 0xE8}, {0x03, 0x00, 0x20}} {}

void SimulatedEcu::wakeUp(double now) {
    if (now < silentUntil_) return;
    awake_ = true;
}

Bytes SimulatedEcu::answer(const Bytes& frame, double now) {
    if (now < silentUntil_ || frame.size() < 5) return {};
    engine_.advance(now);
    const std::size_t head = (frame[0] & 0x3F) == 0 ? 4 : 3;
    if (frame.size() < head + 2) return {};
    const std::uint8_t service = frame[head];
    const std::uint8_t p1 = frame.size() > head + 2 ? frame[head + 1] : 0;
    if (active_ && now - lastRequestAt_ > behaviour_.sessionTimeoutS) active_ = false;  // the session timed out
    lastRequestAt_ = now;
    if (service == 0x81) return awake_ || active_ ? startCommunication() : Bytes{};
    if (!active_) return {};
    switch (service) {
    case 0x82: return stopCommunication();
    case 0x21: return readLocalIdentifier(p1);
    case 0x1A: return p1 == 0x80 ? ecuIdentification() : negative(0x1A, 0x12);
    case 0x18: return troubleCodesAnswer();
    case 0x14: return clearTroubleCodes();
    case 0x30: return ioControl(frame);
    case 0x11: return ecuReset(p1, now);
    default: return negative(service, 0x11);
    }
}

Bytes SimulatedEcu::startCommunication() {
    awake_ = false;
    active_ = true;
    // C1 EF 8F, or key bytes F0 8E of the same sum, so the checksum is C3 either way.
    return behaviour_.otherKeyBytes ? answerFrame({0xC1, 0xF0, 0x8E}) : answerFrame({0xC1, 0xEF, 0x8F});
}

Bytes SimulatedEcu::stopCommunication() {
    active_ = false;
    return answerFrame({0xC2});
}

Bytes SimulatedEcu::readLocalIdentifier(std::uint8_t id) {
    Bytes data{0x61, id};
    switch (id) {
    case 0x01: {
        if (behaviour_.liveDataStopsAfter >= 0 && !liveDataLost_ &&
            liveDataAnswers_ >= behaviour_.liveDataStopsAfter) {
            liveDataLost_ = true;  // the session is gone; a new wake-up brings it back
            active_ = false;
            return {};
        }
        ++liveDataAnswers_;
        std::uint8_t block[kLive01DataBytes];
        engine_.fillLive01(block, static_cast<std::uint8_t>(codes_.size()));
        data.insert(data.end(), block, block + kLive01DataBytes);
        break;
    }
    case 0x03: {
        std::uint8_t block[kLive03DataBytes];
        engine_.fillLive03(block);
        data.insert(data.end(), block, block + kLive03DataBytes);
        break;
    }
    case 0xA1: appendText(data, "LADA-21", 7); break;  // body
    case 0xA2: appendText(data, "21126-8", 7); break;  // engine of the vehicle
    case 0xA3: appendText(data, "14.03.2012", 10); break;
    default: return negative(0x21, 0x31);
    }
    return answerFrame(data);
}

Bytes SimulatedEcu::ecuIdentification() {
    Bytes data{0x5A, 0x80};
    appendText(data, "XTA21703090012345", 17);  // vehicle model (VIN)
    appendText(data, "SIM0000000004417", 16);   // serial number
    appendText(data, "M797-SIM01", 10);         // control-unit code
    appendText(data, "SW-1037-01", 10);         // program code
    appendText(data, "1.6L 16V 72KW", 15);      // engine
    appendText(data, "P-20931", 7);             // part code
    appendText(data, "ROM-120314", 10);         // ROM preparation
    appendText(data, "ID-04417", 8);            // identifier
    return answerFrame(data);
}

Bytes SimulatedEcu::troubleCodesAnswer() {
    if (behaviour_.refuseTroubleCodes) return negative(0x18, 0x22);  // conditions not correct
    Bytes data{0x58, static_cast<std::uint8_t>(codes_.size())};
    for (const TroubleCode& c : codes_) data.insert(data.end(), {c.high, c.low, c.status});
    return answerFrame(data);
}

Bytes SimulatedEcu::clearTroubleCodes() {
    codes_.clear();
    return answerFrame({0x54, 0x00, 0x00});
}

std::uint8_t SimulatedEcu::naturalState(std::uint8_t localId) const {
    const bool running = engine_.running();
    if (localId <= 0x04) return running ? 0xFF : 0x00;  // injectors
    if (localId == kFuelPump) return running ? 0xFF : 0x00;
    if (localId >= 0x41 && localId <= 0x43) return localId == 0x42 ? 85 : 40;
    return 0x00;
}

Bytes SimulatedEcu::ioControl(const Bytes& frame) {
    if (frame.size() < 7) return negative(0x30, 0x13);
    const std::uint8_t id = frame[4];
    const std::uint8_t parameter = frame[5];
    const bool ignition = id == kIgnition14 || id == kIgnition23;
    if (behaviour_.actuatorAnswers == ActuatorAnswers::Refused) return negative(0x30, 0x31);
    if (behaviour_.actuatorAnswers == ActuatorAnswers::Silent) return {};
    ForcedOutput& out = forced_[id];
    switch (parameter) {
    case 0x00:  // control back to the control unit
        out = {};
        return answerFrame({0x70, id, 0x00});
    case 0x01: {  // report
        if (ignition && engine_.running()) return negative(0x30, 0x22);
        return answerFrame({0x70, id, 0x01, out.forced ? out.value : naturalState(id)});
    }
    case 0x06:  // on / off
    case 0x07:  // set value
        if (frame.size() < 8) return negative(0x30, 0x13);
        if (ignition && engine_.running()) return negative(0x30, 0x22);
        out = {true, frame[6]};
        return answerFrame({0x70, id, parameter, frame[6]});
    default: return negative(0x30, 0x12);
    }
}

Bytes SimulatedEcu::ecuReset(std::uint8_t mode, double now) {
    if (mode != 0x01 && mode != 0x90) return negative(0x11, 0x12);
    ++resets_;
    active_ = false;
    awake_ = false;
    for (ForcedOutput& f : forced_) f = {};
    silentUntil_ = now + behaviour_.silentAfterResetS;
    return answerFrame({0x51, mode});
}

}  // namespace m797::sim
