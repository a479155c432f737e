#include "glpanel/rules/opengl_font.h"

namespace m797::gl {

bool textInFontRange(std::int32_t firstGlyph, std::int32_t glyphCount, std::string_view text) {
    for (char c : text) {
        const std::int64_t offset = static_cast<std::int64_t>(static_cast<unsigned char>(c)) - firstGlyph;
        if (offset < 0 || offset >= glyphCount) return false;
    }
    return true;
}

void measure3DText(const OpenGLFont3D& font, std::string_view text, double& x, double& y, double& z) {
    if (text.empty()) return;
    const bool inRange = textInFontRange(font.firstGlyph, font.glyphCount, text) &&
                         font.glyphMetrics.size() >= static_cast<std::size_t>(font.glyphCount);
    if (!inRange) {
        x = y = z = 0;
        return;
    }
    x = 0;
    y = 0;
    z = font.extrusion;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const GlyphMetricsFloat& m =
            font.glyphMetrics[static_cast<unsigned char>(text[i]) - static_cast<std::size_t>(font.firstGlyph)];
        const bool last = i + 1 == text.size();
        x += last ? m.gmfBlackBoxX : m.gmfCellIncX;
        y += last ? m.gmfBlackBoxY : m.gmfCellIncY;
    }
}

}  // namespace m797::gl
