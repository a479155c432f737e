#pragma once
// Value texts of the live parameters: fixed-point with at most 10 significant
// digits and a given number of decimals, ties rounded away from zero
// (3.125 with 2 decimals reads "3.13"), with the caller's decimal separator.
// printf is not used: it rounds ties to even and follows the C locale.

#include <cstdint>
#include <string>

namespace m797 {

constexpr int kSignificantDigits = 10;

// `decimals` is limited to 0..15. Non-finite values read "NAN", "INF", "-INF".
// A value that rounds to zero carries no minus sign ("0.00", not "-0.00").
std::string formatFixed(long double value, int decimals, char decimalSeparator);

// Two upper-case hex digits ("0F"), for bytes shown as hex words.
std::string hexByte(std::uint8_t b);

// The decimal separator of the current LC_NUMERIC locale (first byte of
// localeconv()->decimal_point; '.' when it is empty).
char localeDecimalPoint();

}  // namespace m797
