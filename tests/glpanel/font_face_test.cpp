#include <gtest/gtest.h>

#include "glpanel/font_face.h"

using namespace m797::gl;

TEST(FontFace, ArialResolvesToLiberationSansWithStyleAndPixelHeight) {
    const struct {
        TFontDescription font;
        bool bold, italic;
        unsigned pixelEm;
    } cases[] = {
        {{"Arial", -11, false, false, RUSSIAN_CHARSET}, false, false, 11},
        {{"Arial", -11, true, true, RUSSIAN_CHARSET}, true, true, 11},
        {{"Arial", -12, true, false, RUSSIAN_CHARSET}, true, false, 12},
        {{"Arial", -9, false, true, ANSI_CHARSET}, false, true, 9},
        // A positive height is the cell (ascent plus descent, 2288 of 2048 em units):
        // 23 x 2048 / 2288 = 20.6.
        {{"Arial", 23, false, false, ANSI_CHARSET}, false, false, 21},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.font.height);
        const auto face = FontFace::open(c.font);
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(face->familyName(), "Liberation Sans");
        EXPECT_EQ(face->bold(), c.bold);
        EXPECT_EQ(face->italic(), c.italic);
        EXPECT_EQ(face->pixelEm(), c.pixelEm);
    }
}

TEST(FontFace, CapitalLettersStandOnTheBaselineAtTheirPixelHeight) {
    const auto face = FontFace::open({"Arial", -20, false, false, RUSSIAN_CHARSET});
    ASSERT_NE(face, nullptr);
    for (char32_t cp : {U'H', U'Ж', U'Ш'}) {
        const GlyphBitmap g = face->bitmap(cp);
        EXPECT_EQ(g.top, g.rows) << static_cast<unsigned>(cp);  // nothing below the baseline
        EXPECT_GE(g.rows, 13);                                  // cap height of a 20-pixel em
        EXPECT_LE(g.rows, 16);
        EXPECT_GT(g.advance, g.width / 2);
        EXPECT_EQ(g.bits.size(), static_cast<std::size_t>((g.width + 7) / 8 * g.rows));
    }
    // Bottom-up rows: the first stored row of a 'T' is its stem, the last its full-width bar.
    const GlyphBitmap t = face->bitmap(U'T');
    const int rowBytes = (t.width + 7) / 8;
    auto litInRow = [&](int r) {
        int n = 0;
        for (int b = 0; b < rowBytes; ++b) n += __builtin_popcount(t.bits[r * rowBytes + b]);
        return n;
    };
    EXPECT_LT(litInRow(0), litInRow(t.rows - 1));
    // Outlines in em units.
    const GlyphOutline h = face->outline(U'H', 0.0f);
    EXPECT_FALSE(h.contours.empty());
    EXPECT_NEAR(h.metrics.gmfBlackBoxY, 0.716, 0.03);  // Liberation Sans cap height
    EXPECT_NEAR(h.metrics.gmfptGlyphOriginY, h.metrics.gmfBlackBoxY, 1e-6);
    EXPECT_GT(h.metrics.gmfCellIncX, h.metrics.gmfBlackBoxX);
    EXPECT_TRUE(face->outline(U'\t', 0.0f).contours.empty());
}
