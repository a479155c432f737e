#pragma once
// A port that opens and never answers: each exchange takes `exchangeMs` and
// brings nothing, so the thread keeps trying to connect for seconds before
// it would give up.

#include <chrono>
#include <thread>

#include "ecu/serial_line.h"

namespace m797::testing {

class SilentLine : public SerialLine {
public:
    explicit SilentLine(int exchangeMs = 50) : exchangeMs_(exchangeMs) {}
    bool openPort() override { return true; }
    std::uint32_t exchange(const std::uint8_t*, std::uint32_t, std::uint8_t*, std::uint32_t) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(exchangeMs_));
        return 0;
    }
    void sendWakeUpPulse() override {}
    void closePort() override {}

private:
    int exchangeMs_;
};

}  // namespace m797::testing
