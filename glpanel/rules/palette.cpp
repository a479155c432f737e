#include "glpanel/rules/palette.h"

namespace m797::gl {

namespace {

std::uint8_t component(unsigned index, std::uint8_t bits, std::uint8_t shift) {
    if (bits == 0 || bits >= 32 || shift >= 32) return 0;  // an empty field: no division by a zero mask
    const unsigned mask = (1u << bits) - 1u;
    return static_cast<std::uint8_t>(((index >> shift) & mask) * 255u / mask);
}

}  // namespace

std::vector<PaletteEntry> constructPaletteEntries(const PixelFormatDescriptor& d) {
    const unsigned count = d.cColorBits >= 16 ? 0u : static_cast<std::uint16_t>(1u << d.cColorBits);
    std::vector<PaletteEntry> entries(count);
    for (unsigned i = 0; i < count; ++i) {
        entries[i].red = component(i, d.cRedBits, d.cRedShift);
        entries[i].green = component(i, d.cGreenBits, d.cGreenShift);
        entries[i].blue = component(i, d.cBlueBits, d.cBlueShift);
    }
    return entries;
}

}  // namespace m797::gl
