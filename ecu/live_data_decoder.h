#pragma once
// Turns the answers to reqLiveData01 and reqLiveData03 into the record's
// values, texts and chart units (step 3.5 of a poll cycle).

#include <cstdint>

namespace m797 {

struct LiveRecord;

class LiveDataDecoder {
public:
    // `decimalSeparator` is the user's locale's (value texts only).
    explicit LiveDataDecoder(char decimalSeparator = '.') : decimalSeparator_(decimalSeparator) {}

    // live01: 140-byte answer buffer (echo at 0..5); live03: 40-byte buffer.
    // The caller holds record.lock.
    void decode(const std::uint8_t* live01, const std::uint8_t* live03, LiveRecord& record);

private:
    char decimalSeparator_;
    float thrLowBits_ = 0.0f;  // ADC_THR's e, kept from cycle to cycle
};

}  // namespace m797
