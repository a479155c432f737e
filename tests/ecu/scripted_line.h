#pragma once
// A SerialLine that records every frame written and answers from a script:
// the adapter's echo of the request first, then the scripted answer for that
// request (the next one queued, the last one repeated), or nothing.

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "ecu/serial_line.h"

namespace m797::test {

using Bytes = std::vector<std::uint8_t>;

// A control-unit answer frame: format 0x80 + n, F1 10, data, checksum.
Bytes answerFrame(const Bytes& data);

class ScriptedLine : public SerialLine {
public:
    void answer(const Bytes& request, const Bytes& reply) { script_[request].push_back(reply); }
    // The request gets only its echo back.
    void silence(const Bytes& request) { script_[request].push_back({}); }

    const std::vector<Bytes>& written() const { return written_; }
    void forget() { written_.clear(); }

    bool openPort() override { return true; }
    std::uint32_t exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                           std::uint32_t capacity) override;
    void sendWakeUpPulse() override {}
    void closePort() override {}

private:
    std::map<Bytes, std::deque<Bytes>> script_;
    std::vector<Bytes> written_;
};

}  // namespace m797::test
