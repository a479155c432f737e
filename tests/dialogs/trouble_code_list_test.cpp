// Reading a trouble-code answer into rows: code cells, texts and the icon of
// each status column.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "app/record/cp1251.h"
#include "dialogs/trouble_code_list.h"

namespace m797 {
namespace {

constexpr int N = kNoIcon;

struct Answer {
    std::array<std::uint8_t, kDtcResponseSize> bytes{};
    explicit Answer(std::vector<std::uint8_t> records) {
        bytes[12] = static_cast<std::uint8_t>(records.size() / 3);
        for (std::size_t i = 0; i < records.size(); ++i) bytes[13 + i] = records[i];
    }
};

TEST(TroubleCodeList, RowsOfTheTwoRecordExample) {
    const Answer a({0x01, 0x02, 0xE8, 0x03, 0x00, 0x20});
    const std::vector<TroubleCodeRow> rows = troubleCodeRows(a.bytes.data());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].code, "P  0102");
    EXPECT_EQ(cp1251ToUtf8(rows[0].description),
              "Датчик массового расхода воздуха, низкий уровень выходного сигнала");
    EXPECT_EQ(rows[0].icons, (std::array<int, 4>{0, 1, 5, 8}));
    EXPECT_EQ(rows[1].code, "P  0300");
    EXPECT_EQ(cp1251ToUtf8(rows[1].description), "Обнаружены случайные/множественные пропуски зажигания");
    EXPECT_EQ(rows[1].icons, (std::array<int, 4>{N, 3, 5, N}));
}

// Column 4 shows the last of icons 6, 7, 9, 8 whose bit is set.
TEST(TroubleCodeList, StatusBitsSelectTheIcons) {
    struct Case {
        std::uint8_t status;
        std::array<int, 4> icons;
    };
    const Case cases[] = {
        {0x00, {N, N, 5, N}}, {0x0F, {N, N, 5, 8}}, {0x01, {N, N, 5, 6}}, {0x03, {N, N, 5, 7}},
        {0x07, {N, N, 5, 9}}, {0x05, {N, N, 5, 9}}, {0x10, {N, N, 4, N}}, {0x40, {N, 2, 5, N}},
        {0x60, {N, 1, 5, N}}, {0x20, {N, 3, 5, N}}, {0x80, {0, N, 5, N}}, {0xFF, {0, 1, 4, 8}},
    };
    for (const Case& c : cases) EXPECT_EQ(statusIcons(c.status), c.icons) << int(c.status);
}

TEST(TroubleCodeList, CodeCellsAndTexts) {
    struct Case {
        std::uint8_t hi, lo;
        const char* code;
        const char* text;
    };
    const Case cases[] = {
        {0x01, 0x02, "P  0102", "Датчик массового расхода воздуха, низкий уровень выходного сигнала"},
        {0x16, 0x89, "P  1689", "Сбой функционирования памяти ошибок"},
        {0x02, 0x61, "P  0261", "Цепь управления форсункой цилиндра №1, замкнута на землю"},
        {0xC1, 0xAB, "P  C1AB", ""},  // the letter stays P whatever the top bits
        {0x01, 0x04, "P  0104", ""},
    };
    for (const Case& c : cases) {
        const Answer a({c.hi, c.lo, 0x00});
        const std::vector<TroubleCodeRow> rows = troubleCodeRows(a.bytes.data());
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].code, c.code);
        EXPECT_EQ(cp1251ToUtf8(rows[0].description), c.text) << c.code;
    }
}

TEST(TroubleCodeList, CountBoundsTheRows) {
    EXPECT_TRUE(troubleCodeRows(Answer({}).bytes.data()).empty());
    std::array<std::uint8_t, kDtcResponseSize> full{};
    full.fill(0xFF);
    EXPECT_EQ(troubleCodeRows(full.data()).size(), 255u);
}

}  // namespace
}  // namespace m797
