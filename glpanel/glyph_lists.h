#pragma once
// Turns a font's characters into OpenGL display lists, one list per glyph
// code from `first` on, each ending with the glyph's advance: glBitmap lists
// for flat text and tessellated outline lists (em units) for extruded text.
// Glyph code c shows the Windows-1251 character c. Needs a current context.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "glpanel/font_face.h"
#include "glpanel/rules/pixel_format.h"

namespace m797::gl {

void compileBitmapLists(FontFace& face, std::int32_t first, std::int32_t count, std::uint32_t listBase);

void compileOutlineLists(FontFace& face, std::int32_t first, std::int32_t count, std::uint32_t listBase,
                         float maxDeviation, float extrusion, TFont3DFormat format,
                         std::vector<GlyphMetricsFloat>& metrics);

// The outline lists of one font, each compiled when a text first needs it:
// a panel shows a handful of the 255 glyphs, and every compiled outline list
// keeps its tessellated vertices in memory for as long as the font lives.
// The lists are the same as compileOutlineLists makes; the metrics of every
// glyph are known from the start.
class OutlineGlyphLists {
public:
    // `face` may be null (no face found): every list then stays empty.
    OutlineGlyphLists(std::unique_ptr<FontFace> face, std::int32_t first, std::int32_t count,
                      std::uint32_t listBase, float maxDeviation, float extrusion, TFont3DFormat format);
    ~OutlineGlyphLists();
    OutlineGlyphLists(const OutlineGlyphLists&) = delete;
    OutlineGlyphLists& operator=(const OutlineGlyphLists&) = delete;

    const std::vector<GlyphMetricsFloat>& metrics() const { return metrics_; }
    // Compiles the lists of the glyphs of `text` not compiled yet. Needs a
    // context of the lists' share group current, and no list being compiled
    // there (then nothing is compiled now; a later call does it).
    void compileFor(std::string_view text);
    int compiledCount() const;

private:
    std::unique_ptr<FontFace> face_;
    std::int32_t first_;
    std::uint32_t listBase_;
    float maxDeviation_;
    float extrusion_;
    TFont3DFormat format_;
    std::vector<GlyphMetricsFloat> metrics_;
    std::vector<bool> compiled_;
};

}  // namespace m797::gl
