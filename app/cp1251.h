#pragma once
// Windows-1251 texts. The system's texts are 8-bit strings whose byte value is
// the glyph index of the panel fonts; sources are UTF-8, so literals pass
// through toCp1251 once, and bytes go back to UTF-8 for widget captions and
// terminal output.

#include <string>
#include <string_view>

namespace m797 {

// UTF-8 to Windows-1251. A character with no Windows-1251 byte becomes '?'.
std::string toCp1251(std::string_view utf8);
// Windows-1251 to UTF-8. Every byte has a character except 0x98, which becomes U+FFFD.
std::string cp1251ToUtf8(std::string_view cp1251);
// One Windows-1251 byte as a Unicode code point (0xFFFD for 0x98).
char32_t cp1251CodePoint(unsigned char byte);

}  // namespace m797
