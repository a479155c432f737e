#pragma once
// Windows-1251 texts. The system's texts are 8-bit strings whose byte value is
// the glyph index of the panel fonts; sources are UTF-8, so literals pass
// through toCp1251 once, and bytes go back to UTF-8 for widget captions and
// terminal output.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace m797 {

// UTF-8 to Windows-1251. A character with no Windows-1251 byte becomes '?'.
std::string toCp1251(std::string_view utf8);
// Windows-1251 to UTF-8. Every byte has a character except 0x98, which becomes U+FFFD.
std::string cp1251ToUtf8(std::string_view cp1251);
// One Windows-1251 byte as a Unicode code point (0xFFFD for 0x98).
char32_t cp1251CodePoint(unsigned char byte);

// The UTF-8 text column `text` of a constant table, as Windows-1251 texts
// (made once, where the table's texts are first needed).
template <typename Row, std::size_t N>
std::array<std::string, N> cp1251Column(const Row (&rows)[N], const char* Row::*text) {
    std::array<std::string, N> out;
    for (std::size_t i = 0; i < N; ++i) out[i] = toCp1251(rows[i].*text);
    return out;
}

}  // namespace m797
