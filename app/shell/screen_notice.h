#pragma once
// What the program says and how it ends when the screen is not 1024 pixels
// wide: the notice window shows only the size to set; the terminal is told
// why and how to go on.

#include <string>

namespace m797 {

// The program did not do its job: not 0.
constexpr int kExitScreenNotSuited = 4;

std::string screenNotSuitedText(int width);

}  // namespace m797
