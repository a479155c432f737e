#pragma once
// The colour scheme's numbers: the stored percentages and their conversions,
// the two sets of defaults, and the track-bar arithmetic of the settings
// dialog. Conversions are formed in extended precision (long double), held as
// 32-bit floats, and turned into integers by truncation toward zero.

#include <array>
#include <cstdint>

#include "app/record/live_record.h"

namespace m797 {

// The four colours of the record in stored order: grid, parameter-name text,
// parameter-value text, trace; each R, G, B, brightness.
using ColourScheme = std::array<std::array<float, 4>, 4>;

// Value names of COLOUR_CIRCUIT in stored order (GRID_R ... GRAPHIC_T).
extern const std::array<const char*, 16> kColourValueNames;

extern const ColourScheme kStartupColours;  // grid brightness 0.4
extern const ColourScheme kResetColours;    // grid brightness 0.3

// The record's colour arrays in stored order.
std::array<float*, 4> colourArrays(LiveRecord& r);
std::array<const float*, 4> colourArrays(const LiveRecord& r);
void setColours(LiveRecord& r, const ColourScheme& scheme);

// stored x 0.01; no clamping.
float colourFromStored(std::int32_t stored);
// component x 100, truncated toward zero.
std::int32_t storedFromColour(float component);

// The track bar position for a component: x 100 truncated, clamped to 0..100.
int trackBarPosition(float component);
// The component a track bar sets: position x colourScale.
float componentFromTrackBar(int position, float colourScale);

}  // namespace m797
