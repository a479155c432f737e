#pragma once
// UTF-8 encoding of one code point, shared by the Windows-1251 texts and the
// settings file's UTF-16 import.

#include <string>

namespace m797 {

void appendUtf8(std::string& out, char32_t codePoint);

}  // namespace m797
