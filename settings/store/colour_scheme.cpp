#include "settings/store/colour_scheme.h"

#include <algorithm>

namespace m797 {

const std::array<const char*, 16> kColourValueNames = {
    "GRID_R",  "GRID_G",  "GRID_B",  "GRID_T",  "Text_R",    "Text_G",    "Text_B",    "Text_T",
    "Text3_R", "Text3_G", "Text3_B", "Text3_T", "GRAPHIC_R", "GRAPHIC_G", "GRAPHIC_B", "GRAPHIC_T"};

const ColourScheme kStartupColours = {
    {{0.5f, 0.4f, 0.1f, 0.4f}, {0.1f, 0.99f, 0.7f, 0.7f}, {0.1f, 0.4f, 0.8f, 0.5f}, {0.45f, 0.99f, 0.1f, 0.99f}}};

const ColourScheme kResetColours = {
    {{0.5f, 0.4f, 0.1f, 0.3f}, {0.1f, 0.99f, 0.7f, 0.7f}, {0.1f, 0.4f, 0.8f, 0.5f}, {0.45f, 0.99f, 0.1f, 0.99f}}};

std::array<float*, 4> colourArrays(LiveRecord& r) {
    return {r.gridColour, r.nameTextColour, r.valueTextColour, r.traceColour};
}

std::array<const float*, 4> colourArrays(const LiveRecord& r) {
    return {r.gridColour, r.nameTextColour, r.valueTextColour, r.traceColour};
}

void setColours(LiveRecord& r, const ColourScheme& scheme) {
    const auto colours = colourArrays(r);
    for (int c = 0; c < 4; ++c) std::copy(scheme[c].begin(), scheme[c].end(), colours[c]);
}

float colourFromStored(std::int32_t stored) {
    return static_cast<float>(static_cast<long double>(stored) * 0.01L);
}

std::int32_t storedFromColour(float component) {
    const long double scaled = static_cast<long double>(component) * 100.0L;
    // Out-of-range floats would make the conversion undefined; stored values
    // always come back in range, so this only guards against damage.
    if (scaled != scaled) return 0;
    if (scaled >= 2147483647.0L) return INT32_MAX;
    if (scaled <= -2147483648.0L) return INT32_MIN;
    return static_cast<std::int32_t>(scaled);
}

int trackBarPosition(float component) {
    const long double scaled = static_cast<long double>(component) * 100.0L;
    if (!(scaled > 0.0L)) return 0;  // also NaN
    if (scaled >= 100.0L) return 100;
    return static_cast<int>(scaled);
}

float componentFromTrackBar(int position, float colourScale) {
    return static_cast<float>(static_cast<long double>(position) * static_cast<long double>(colourScale));
}

}  // namespace m797
