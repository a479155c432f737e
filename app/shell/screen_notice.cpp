#include "app/shell/screen_notice.h"

namespace m797 {

std::string screenNotSuitedText(int width) {
    return "m797diag: the screen is " + std::to_string(width) +
           " pixels wide; the window is laid out for a screen 1024 pixels wide.\n"
           "m797diag: start it with --ignore-screen-width to use it on this screen.\n";
}

}  // namespace m797
