#include "tests/ecu/scripted_line.h"

#include <algorithm>

namespace m797::test {

Bytes answerFrame(const Bytes& data) {
    Bytes f{static_cast<std::uint8_t>(0x80 + data.size()), 0xF1, 0x10};
    f.insert(f.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t b : f) sum += b;
    f.push_back(static_cast<std::uint8_t>(sum));
    return f;
}

std::uint32_t ScriptedLine::exchange(const std::uint8_t* request, std::uint32_t length, std::uint8_t* answer,
                                     std::uint32_t capacity) {
    Bytes frame(request, request + length);
    written_.push_back(frame);
    Bytes received = frame;
    auto it = script_.find(frame);
    if (it != script_.end() && !it->second.empty()) {
        const Bytes& reply = it->second.front();
        received.insert(received.end(), reply.begin(), reply.end());
        if (it->second.size() > 1) it->second.pop_front();
    }
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(received.size(), capacity));
    std::copy_n(received.begin(), n, answer);
    return n;
}

}  // namespace m797::test
