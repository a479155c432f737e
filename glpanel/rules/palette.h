#pragma once
// Logical palette entries for a palette-based pixel format: every index split
// into its red, green and blue fields and each field scaled to 0..255.

#include <cstdint>
#include <vector>

#include "glpanel/rules/pixel_format.h"

namespace m797::gl {

struct PaletteEntry {
    std::uint8_t red = 0, green = 0, blue = 0, flags = 0;
    bool operator==(const PaletteEntry&) const = default;
};

// 2^cColorBits entries (a 16-bit count, so 16 or more colour bits give none).
// A component field of zero bits is 0 in every entry.
std::vector<PaletteEntry> constructPaletteEntries(const PixelFormatDescriptor& described);

}  // namespace m797::gl
