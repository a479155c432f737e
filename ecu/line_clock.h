#pragma once
// The time of a session as its line knows it: a recording line measures it,
// a replay line takes it from the trace. The CSV log stamps its rows with it,
// so a log written live and one written from the replay of the same session
// carry the same times.

#include <cstdint>

namespace m797 {

class LineClock {
public:
    virtual ~LineClock() = default;
    // Microseconds from the session's start to the end of the last exchange.
    virtual std::int64_t lastExchangeEndUs() const = 0;
    // Wall-clock time of the session's start, microseconds since 1970 (UTC).
    virtual std::int64_t startWallUs() const = 0;
};

}  // namespace m797
