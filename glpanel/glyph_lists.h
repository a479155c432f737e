#pragma once
// Turns a font's characters into OpenGL display lists, one list per glyph
// code from `first` on, each ending with the glyph's advance: glBitmap lists
// for flat text and tessellated outline lists (em units) for extruded text.
// Glyph code c shows the Windows-1251 character c. Needs a current context.

#include <cstdint>
#include <vector>

#include "glpanel/font_face.h"
#include "glpanel/pixel_format.h"

namespace m797::gl {

void compileBitmapLists(FontFace& face, std::int32_t first, std::int32_t count, std::uint32_t listBase);

void compileOutlineLists(FontFace& face, std::int32_t first, std::int32_t count, std::uint32_t listBase,
                         float maxDeviation, float extrusion, TFont3DFormat format,
                         std::vector<GlyphMetricsFloat>& metrics);

}  // namespace m797::gl
