#include "ecu/wall_time.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace m797 {
namespace {

constexpr std::int64_t kMicros = 1000000;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = floorDiv(y, 400);
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool digits(const std::string& s, std::size_t at, std::size_t n, int& out) {
    if (at + n > s.size()) return false;
    out = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

}  // namespace

std::int64_t wallClockNowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string isoUtc(std::int64_t us, int decimals) {
    const std::int64_t unit = decimals >= 6 ? 1 : decimals >= 3 ? 1000 : kMicros;
    const std::int64_t rounded = floorDiv(us + unit / 2, unit) * unit;
    const std::time_t seconds = floorDiv(rounded, kMicros);
    const std::int64_t fraction = rounded - static_cast<std::int64_t>(seconds) * kMicros;
    std::tm t{};
    gmtime_r(&seconds, &t);
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                          t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    if (unit == 1) n += std::snprintf(buf + n, sizeof buf - n, ".%06lld", static_cast<long long>(fraction));
    if (unit == 1000)
        n += std::snprintf(buf + n, sizeof buf - n, ".%03lld", static_cast<long long>(fraction / 1000));
    return std::string(buf, static_cast<std::size_t>(n)) + "Z";
}

std::optional<std::int64_t> parseIsoUtc(const std::string& s) {
    int year, month, day, hour, minute, second;
    if (s.size() < 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':' ||
        s.back() != 'Z')
        return std::nullopt;
    if (!digits(s, 0, 4, year) || !digits(s, 5, 2, month) || !digits(s, 8, 2, day) || !digits(s, 11, 2, hour) ||
        !digits(s, 14, 2, minute) || !digits(s, 17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    std::int64_t fraction = 0;
    const std::size_t fractionDigits = s.size() - 20;
    if (fractionDigits > 0) {
        if (s[19] != '.' || fractionDigits < 2 || fractionDigits > 7) return std::nullopt;
        int part = 0;
        if (!digits(s, 20, fractionDigits - 1, part)) return std::nullopt;
        fraction = part;
        for (std::size_t i = fractionDigits - 1; i < 6; ++i) fraction *= 10;
    }
    const std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return ((days * 24 + hour) * 60 + minute) * 60 * kMicros + second * kMicros + fraction;
}

}  // namespace m797
