#include "ecu/value_text.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdint>

namespace m797 {
namespace {

constexpr std::uint64_t kPow10[20] = {1ull,
                                      10ull,
                                      100ull,
                                      1000ull,
                                      10000ull,
                                      100000ull,
                                      1000000ull,
                                      10000000ull,
                                      100000000ull,
                                      1000000000ull,
                                      10000000000ull,
                                      100000000000ull,
                                      1000000000000ull,
                                      10000000000000ull,
                                      100000000000000ull,
                                      1000000000000000ull,
                                      10000000000000000ull,
                                      100000000000000000ull,
                                      1000000000000000000ull,
                                      10000000000000000000ull};

int digitCount(std::uint64_t n) {
    int d = 1;
    while (d < 20 && n >= kPow10[d]) ++d;
    return d;
}

// Rounds whole + fraction (0 <= fraction < 1) to a multiple of 10^drop, ties
// away from zero; the result is in units of 10^drop.
std::uint64_t roundAway(std::uint64_t whole, long double fraction, int drop) {
    const std::uint64_t unit = kPow10[drop];
    const std::uint64_t quotient = whole / unit;
    const std::uint64_t remainder = whole % unit;
    // remainder + fraction >= unit / 2, without leaving integer arithmetic for the big part.
    const long double twice = static_cast<long double>(remainder) * 2 + fraction * 2;
    return quotient + (twice >= static_cast<long double>(unit) ? 1 : 0);
}

// Above this the fixed-point digits no longer fit 64 bits; such values keep
// 10 significant digits followed by zeros, computed in floating point.
constexpr long double kExactLimit = 1e18L;

std::string digitsWithSeparator(std::uint64_t scaled, int decimals, char separator) {
    char buffer[48];
    int pos = 0;
    std::uint64_t n = scaled;
    // Digits are produced least significant first, then reversed.
    for (int i = 0; i < decimals; ++i) {
        buffer[pos++] = static_cast<char>('0' + n % 10);
        n /= 10;
    }
    if (decimals > 0) buffer[pos++] = separator;
    do {
        buffer[pos++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    std::reverse(buffer, buffer + pos);
    return std::string(buffer, static_cast<std::size_t>(pos));
}

}  // namespace

std::string formatFixed(long double value, int decimals, char decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    decimals = std::clamp(decimals, 0, 15);
    const bool negative = std::signbit(value);
    const long double magnitude = std::fabs(value);

    // For a float or a double widened to long double, magnitude * 10^decimals
    // is exact as long as it stays below kExactLimit (64-bit mantissa).
    const long double scaledValue = magnitude * static_cast<long double>(kPow10[decimals]);
    std::uint64_t scaled = 0;
    if (scaledValue < kExactLimit) {
        const auto whole = static_cast<std::uint64_t>(scaledValue);
        const long double fraction = scaledValue - static_cast<long double>(whole);
        const int excess = digitCount(whole) - kSignificantDigits;
        if (excess > 0) {
            scaled = roundAway(whole, fraction, excess) * kPow10[excess];
        } else {
            scaled = roundAway(whole, fraction, 0);
        }
    } else {
        // Too large for 64-bit fixed-point digits: 10 significant digits,
        // then zeros (no value of the control unit comes near this).
        const long double exponent = std::floor(std::log10(magnitude));
        if (exponent >= 19) return negative ? "-INF" : "INF";
        const long double unit = std::pow(10.0L, exponent + 1 - kSignificantDigits);
        const auto significant = static_cast<std::uint64_t>(std::floor(magnitude / unit + 0.5L));
        const auto whole = significant * static_cast<std::uint64_t>(unit);
        std::string text = (negative ? "-" : "") + digitsWithSeparator(whole, 0, decimalSeparator);
        if (decimals > 0) text += decimalSeparator + std::string(static_cast<std::size_t>(decimals), '0');
        return text;
    }
    std::string text = digitsWithSeparator(scaled, decimals, decimalSeparator);
    if (negative && scaled != 0) text.insert(text.begin(), '-');
    return text;
}

char localeDecimalPoint() {
    const std::lconv* conv = std::localeconv();
    if (conv == nullptr || conv->decimal_point == nullptr || conv->decimal_point[0] == '\0') return '.';
    return conv->decimal_point[0];
}

std::string hexByte(std::uint8_t b) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[b >> 4], kDigits[b & 0x0F]};
}

}  // namespace m797
