#pragma once
// Turns the answers to reqLiveData01 and reqLiveData03 into the record's
// values, texts and chart units (step 3.5 of a poll cycle).

#include <array>
#include <cstdint>

namespace m797 {

struct LiveRecord;
class RecordWriteLock;

// Answer buffers the decoder reads, echo of the request included: it reads
// live01 positions 12..76 and live03 positions 11..27, so buffers of these
// sizes (the read capacities of the two requests) are always enough.
constexpr int kLive01BufferSize = 140;
constexpr int kLive03BufferSize = 40;

class LiveDataDecoder {
public:
    // `decimalSeparator` is the user's locale's (value texts only; see
    // localeDecimalPoint() in ecu/value_text.h).
    explicit LiveDataDecoder(char decimalSeparator = '.');

    // live01: 140-byte answer buffer (echo at 0..5); live03: 40-byte buffer.
    void decode(const std::uint8_t* live01, const std::uint8_t* live03, const RecordWriteLock& held);

    char decimalSeparator() const { return decimalSeparator_; }

private:
    struct AnalogTarget {
        std::uint8_t slot = 0;  // index into record.analog
        std::uint8_t decimals = 0;
        bool minusPrefix = false;
    };
    static constexpr int kAnalogRuleCount = 38;

    void decodeAnalog(const std::uint8_t* live01, const std::uint8_t* live03, LiveRecord& record);
    void decodeCounters(const std::uint8_t* live01, LiveRecord& record) const;
    void decodeFlags(const std::uint8_t* live01, LiveRecord& record) const;
    void decodeOthers(const std::uint8_t* live01, LiveRecord& record) const;

    char decimalSeparator_;
    float thrLowBits_ = 0.0f;  // ADC_THR's e, kept from cycle to cycle
    std::array<AnalogTarget, kAnalogRuleCount> targets_{};
};

}  // namespace m797
