#pragma once
// The width of the primary screen, behind a seam that tests can set.

namespace m797 {

int primaryScreenWidth();
// A width to report instead of the screen's; 0 restores the real one.
void setScreenWidthForTesting(int width);

}  // namespace m797
