#pragma once
// A panel font face: fontconfig finds the file for a font description
// ("Arial" resolves to Liberation Sans), FreeType gives each character's
// monochrome bitmap at the pixel size and its outline in em units.

#include <ft2build.h>
#include FT_FREETYPE_H

#include <memory>
#include <string>
#include <vector>

#include "glpanel/rules/opengl_font.h"

namespace m797::gl {

struct GlyphBitmap {
    int width = 0, rows = 0;
    int left = 0, top = 0;            // bitmap origin relative to the pen on the baseline
    int advance = 0;                  // pixels
    std::vector<unsigned char> bits;  // rows bottom-up, (width + 7) / 8 bytes each, most significant bit first
};

struct OutlinePoint {
    double x = 0, y = 0;
};

struct GlyphOutline {
    std::vector<std::vector<OutlinePoint>> contours;  // closed polygons, em units
    bool fillOnRight = true;                          // the contours' direction: filled side right of travel
    GlyphMetricsFloat metrics;
};

class FontFace {
public:
    // None when no face can be found or opened.
    static std::unique_ptr<FontFace> open(const TFontDescription& description);
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    // The character of Unicode code point `cp`; a character the face lacks
    // gives an empty bitmap or outline with no advance.
    GlyphBitmap bitmap(char32_t cp);
    // Curves are flattened to within `maxDeviation` em (a fine fixed step at 0).
    GlyphOutline outline(char32_t cp, float maxDeviation);

    std::string familyName() const;
    bool bold() const;
    bool italic() const;
    unsigned pixelEm() const { return pixelEm_; }

private:
    FontFace() = default;
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
    unsigned pixelEm_ = 16;
};

}  // namespace m797::gl
