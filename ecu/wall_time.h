#pragma once
// Wall-clock times as ISO 8601 texts in UTC ("2026-12-08T11:05:00.123Z"), and
// back. Microseconds since 1970 throughout, so that times read from a file
// are the times written.

#include <cstdint>
#include <optional>
#include <string>

namespace m797 {

std::int64_t wallClockNowUs();
// `decimals` digits of the second (0, 3 or 6), rounded half away from zero.
std::string isoUtc(std::int64_t microsSinceEpoch, int decimals);
// Reads what isoUtc writes (0 to 6 decimals, a final 'Z'); nothing else.
std::optional<std::int64_t> parseIsoUtc(const std::string& text);

}  // namespace m797
