#include "app/shell/notice.h"

namespace m797 {

std::string terminalLine(const std::string& text) { return "m797diag: " + text + "\n"; }

}  // namespace m797
