#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ecu/value_text.h"

namespace m797 {
namespace {

struct FixedCase {
    long double value;
    int decimals;
    const char* dot;  // with '.'; the same with ',' must differ only there
};

const FixedCase kFixed[] = {
    {3.125L, 2, "3.13"},  // tie: away from zero, not to even
    {-3.125L, 2, "-3.13"},
    {95.25L, 1, "95.3"},
    {2.5L, 0, "3"},
    {0.5L, 0, "1"},
    {1.5L, 0, "2"},
    {4.9951171875L, 3, "4.995"},
    {18859.30078125L, 1, "18859.3"},
    {0.0L, 3, "0.000"},
    {-0.0L, 1, "0.0"},
    {-0.001L, 2, "0.00"},  // rounds to zero: no minus sign
    {-96.0L, 1, "-96.0"},
    {10200.0L, 0, "10200"},
    {0.04L, 3, "0.040"},
    {9.9996L, 3, "10.000"},              // carry into a new digit
    {12345678.125L, 3, "12345678.130"},  // 10 significant digits, then zeros
    {1234567890.5L, 2, "1234567891.00"},
    {123456.789L, 3, "123456.789"},
    {1e20L, 1, "INF"},
};

TEST(ValueText, FixedPointWithBothSeparators) {
    for (const FixedCase& c : kFixed) {
        SCOPED_TRACE(c.dot);
        EXPECT_EQ(formatFixed(c.value, c.decimals, '.'), c.dot);
        std::string comma = c.dot;
        for (char& ch : comma)
            if (ch == '.') ch = ',';
        EXPECT_EQ(formatFixed(c.value, c.decimals, ','), comma);
    }
}

TEST(ValueText, FloatInputsRoundOnTheirExactValue) {
    // 2.675f is 2.67499995...: it must not round up as the decimal literal would.
    EXPECT_EQ(formatFixed(2.675f, 2, '.'), "2.67");
    // 0.125f is exact: a true tie.
    EXPECT_EQ(formatFixed(0.125f, 2, '.'), "0.13");
}

TEST(ValueText, NonFiniteValues) {
    EXPECT_EQ(formatFixed(std::numeric_limits<long double>::quiet_NaN(), 2, '.'), "NAN");
    EXPECT_EQ(formatFixed(std::numeric_limits<long double>::infinity(), 2, '.'), "INF");
    EXPECT_EQ(formatFixed(-std::numeric_limits<long double>::infinity(), 2, '.'), "-INF");
}

TEST(ValueText, DecimalsOutOfRangeAreLimited) {
    EXPECT_EQ(formatFixed(1.5L, -3, '.'), "2");
    EXPECT_EQ(formatFixed(1.0L, 40, '.').size(), std::string("1.000000000000000").size());
}

}  // namespace
}  // namespace m797
