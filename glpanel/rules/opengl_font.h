#pragma once
// Font records of an OpenGL panel and the text rules that need no GL: which
// texts a font can draw and how large an outline text is.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace m797::gl {

constexpr std::uint8_t ANSI_CHARSET = 0;
constexpr std::uint8_t RUSSIAN_CHARSET = 204;

// Face, height, style and character set of a panel font. A negative height is
// the character (em) height in pixels, a positive one the cell height, 0 the
// face's default.
struct TFontDescription {
    std::string name = "Arial";
    std::int32_t height = -9;
    bool bold = true;
    bool italic = false;
    std::uint8_t charset = ANSI_CHARSET;
    bool operator==(const TFontDescription&) const = default;
};

// Per glyph, in em units, like GLYPHMETRICSFLOAT.
struct GlyphMetricsFloat {
    float gmfBlackBoxX = 0, gmfBlackBoxY = 0;
    float gmfptGlyphOriginX = 0, gmfptGlyphOriginY = 0;  // upper-left corner of the black box
    float gmfCellIncX = 0, gmfCellIncY = 0;
};

struct OpenGLFont2D {
    std::int32_t firstGlyph = 0;
    std::int32_t glyphCount = 0;
    std::uint32_t listBase = 0;
};

struct OpenGLFont3D {
    std::int32_t firstGlyph = 0;
    std::int32_t glyphCount = 0;
    std::uint32_t listBase = 0;
    float extrusion = 0;
    std::vector<GlyphMetricsFloat> glyphMetrics;  // glyphCount entries
};

// Every byte of `text`, taken as a glyph index, lies in first .. first + count - 1.
bool textInFontRange(std::int32_t firstGlyph, std::int32_t glyphCount, std::string_view text);

// Size of an outline text: cell increments of all characters but the last
// plus the last one's black box; z is the extrusion. An empty text leaves
// the output as it was; a character outside the font's range gives (0, 0, 0).
void measure3DText(const OpenGLFont3D& font, std::string_view text, double& x, double& y, double& z);

}  // namespace m797::gl
