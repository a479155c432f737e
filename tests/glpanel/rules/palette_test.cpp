#include <gtest/gtest.h>

#include "glpanel/rules/palette.h"

using namespace m797::gl;

namespace {
PixelFormatDescriptor described(std::uint8_t colourBits, std::uint8_t rb, std::uint8_t rs, std::uint8_t gb,
                                std::uint8_t gs, std::uint8_t bb, std::uint8_t bs) {
    PixelFormatDescriptor d;
    d.dwFlags = PFD_NEED_PALETTE;
    d.cColorBits = colourBits;
    d.cRedBits = rb, d.cRedShift = rs, d.cGreenBits = gb, d.cGreenShift = gs, d.cBlueBits = bb, d.cBlueShift = bs;
    return d;
}
}  // namespace

TEST(ConstructPalette, ThreeThreeTwoFormat) {
    const auto entries = constructPaletteEntries(described(8, 3, 0, 3, 3, 2, 6));
    ASSERT_EQ(entries.size(), 256u);
    const struct {
        int index;
        PaletteEntry entry;
    } cases[] = {{0, {0, 0, 0, 0}},
                 {255, {255, 255, 255, 0}},
                 {7, {255, 0, 0, 0}},
                 {56, {0, 255, 0, 0}},
                 {192, {0, 0, 255, 0}},
                 {1, {36, 0, 0, 0}},
                 {0x40 | 0x08 | 0x03, {109, 36, 85, 0}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        EXPECT_EQ(entries[c.index], c.entry);
    }
}

TEST(ConstructPalette, CountFollowsColourBitsAndEmptyFieldsStayZero) {
    EXPECT_EQ(constructPaletteEntries(described(4, 1, 0, 2, 1, 1, 3)).size(), 16u);
    EXPECT_TRUE(constructPaletteEntries(described(16, 5, 0, 6, 5, 5, 11)).empty());  // 2^16 does not fit the count
    // A format without a blue field must not divide by its zero mask.
    const auto noBlue = constructPaletteEntries(described(4, 2, 0, 2, 2, 0, 0));
    ASSERT_EQ(noBlue.size(), 16u);
    EXPECT_EQ(noBlue[15], (PaletteEntry{255, 255, 0, 0}));
}
