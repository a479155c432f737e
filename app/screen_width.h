#pragma once
// The width of the primary screen, behind a seam that tests can set.

#include <string>

namespace m797 {

// The program ends with this status when the screen does not suit: it did
// not do its job.
constexpr int kExitScreenNotSuited = 4;

// What the terminal is told beside the notice (which says only the size to set).
std::string screenNotSuitedText(int width);

int primaryScreenWidth();
// A width to report instead of the screen's; 0 restores the real one.
void setScreenWidthForTesting(int width);

}  // namespace m797
