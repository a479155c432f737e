#pragma once
// The error list's reading of a trouble-code answer (echo first): byte 12 is
// the number of codes, 3-byte records (code high, code low, status) from
// byte 13 (one byte later in an answer with a length byte, format byte 0x80
// at byte 8). No widgets here; TForm4 shows what this yields.

#include <array>
#include <cstdint>
#include <vector>

#include "app/record/live_record.h"

namespace m797 {

constexpr int kNoIcon = -1;
constexpr int kStatusIconCount = 10;

struct TroubleCodeRow {
    Text code;                 // "P  " and the two code bytes in hexadecimal
    Text description;          // empty for a code the table does not know
    std::array<int, 4> icons;  // icon shown in grid columns 1..4, or kNoIcon
};

// The rows of `buffer` (kDtcResponseSize bytes).
std::vector<TroubleCodeRow> troubleCodeRows(const std::uint8_t* buffer);

// Why no list is on show, for the states of a read that brought none
// ("Нет ответа.", "Ответ искажён.", "Отказ ЭБУ, код 0x22"); empty for
// NotRead and Read.
Text troubleCodeAnswerText(TroubleCodeAnswer answer, std::uint8_t refusalCode);

// The icons of one status byte for grid columns 1..4.
std::array<int, 4> statusIcons(std::uint8_t status);

// The description of a code, or nullptr when the table has none.
const Text* troubleCodeText(std::uint8_t hi, std::uint8_t lo);

// The legend caption beside icon `icon` (two lines) and its frame's place.
struct LegendEntry {
    Text lines[2];
    int left, top;
};
const LegendEntry& legendEntry(int icon);

}  // namespace m797
