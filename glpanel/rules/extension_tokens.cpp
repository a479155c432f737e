#include "glpanel/rules/extension_tokens.h"

namespace m797::gl {

bool hasExtensionToken(const char* extensions, std::string_view name) {
    if (extensions == nullptr || name.empty()) return false;
    std::string_view rest(extensions);
    while (!rest.empty()) {
        const std::size_t end = rest.find(' ');
        if (rest.substr(0, end) == name) return true;
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return false;
}

}  // namespace m797::gl
