#pragma once
// Brightness of the status strip's and passport's items: the colour of the
// parameter names with its brightness (the alpha) scaled.

#include <array>

namespace m797 {

using Colour = std::array<float, 4>;

constexpr float kDimmed = 1.0f / 3.0f;   // an indicator whose flag is off
constexpr float kFrame = 0.5f;           // frames of both panels
constexpr float kCaption = 5.0f / 9.0f;  // passport captions

Colour withBrightness(const float colour[4], float factor);

}  // namespace m797
