#pragma once
// Whole-token lookup in an OpenGL extension string.

#include <string_view>

namespace m797::gl {

// True when one space-separated token of `extensions` is exactly `name`
// (a prefix or a longer token does not match). A null list holds nothing.
bool hasExtensionToken(const char* extensions, std::string_view name);

}  // namespace m797::gl
