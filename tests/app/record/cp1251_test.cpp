#include <gtest/gtest.h>

#include "app/record/cp1251.h"

namespace m797 {
namespace {

TEST(Cp1251, RussianTextsBecomeSingleBytes) {
    const struct {
        const char* utf8;
        std::string bytes;
    } cases[] = {
        {"Старт", "\xD1\xF2\xE0\xF0\xF2"},
        {"ёЁ№", "\xB8\xA8\xB9"},
        {"я", "\xFF"},
        {"B_KSTUMS", "B_KSTUMS"},
        {"Резерв Е3.",
         "\xD0\xE5\xE7\xE5\xF0\xE2 \xC5"
         "3."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toCp1251(c.utf8), c.bytes) << c.utf8;
        EXPECT_EQ(cp1251ToUtf8(c.bytes), c.utf8) << c.utf8;
    }
}

TEST(Cp1251, EveryByteExceptTheHoleRoundTrips) {
    for (int b = 1; b < 256; ++b) {
        if (b == 0x98) continue;
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(toCp1251(cp1251ToUtf8(one)), one) << b;
    }
}

TEST(Cp1251, UnmappableAndMalformedInputBecomesQuestionMarks) {
    EXPECT_EQ(toCp1251("\xE4\xB8\xAD"), "?");  // a CJK character
    EXPECT_EQ(toCp1251("a\xFF"
                       "b"),
              "a?b");                  // not UTF-8
    EXPECT_EQ(toCp1251("\xD0"), "?");  // cut short
}

}  // namespace
}  // namespace m797
