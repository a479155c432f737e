#include "glpanel/glyph_lists.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <array>
#include <deque>
#include <optional>

#include "app/record/cp1251.h"

namespace m797::gl {

namespace {

// Codes past one byte can never occur in a text; their lists stay empty.
char32_t characterOf(std::int32_t code) {
    if (code < 0 || code > 255) return 0;
    return m797::cp1251CodePoint(static_cast<unsigned char>(code));
}

void compileBitmap(const GlyphBitmap& g) {
    // glBitmap with a null pointer inside a list fails on Mesa: empty glyphs get a dummy byte.
    static const GLubyte dummy[1] = {0};
    const GLubyte* bits = g.bits.empty() ? dummy : g.bits.data();
    glBitmap(g.width, g.rows, static_cast<GLfloat>(-g.left), static_cast<GLfloat>(g.rows - g.top),
             static_cast<GLfloat>(g.advance), 0.0f, bits);
}

struct Tessellation {
    std::deque<std::array<GLdouble, 3>> vertices;  // stable addresses while the tessellator runs
};

void GLAPIENTRY onBegin(GLenum type) { glBegin(type); }
void GLAPIENTRY onVertex(void* v) { glVertex3dv(static_cast<const GLdouble*>(v)); }
void GLAPIENTRY onEnd() { glEnd(); }
void GLAPIENTRY onCombine(GLdouble coords[3], void* [4], GLfloat[4], void** out, void* user) {
    auto* t = static_cast<Tessellation*>(user);
    t->vertices.push_back({coords[0], coords[1], coords[2]});
    *out = t->vertices.back().data();
}
void GLAPIENTRY onError(GLenum) {}

void tessellateCap(GLUtesselator* tess, const GlyphOutline& g, double z, double normalZ) {
    Tessellation storage;
    gluTessNormal(tess, 0, 0, normalZ);
    glNormal3d(0, 0, normalZ);
    gluTessBeginPolygon(tess, &storage);
    for (const auto& contour : g.contours) {
        gluTessBeginContour(tess);
        for (const OutlinePoint& p : contour) {
            storage.vertices.push_back({p.x, p.y, z});
            gluTessVertex(tess, storage.vertices.back().data(), storage.vertices.back().data());
        }
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);
}

// One quad per outline edge between the front (z = 0) and back (z = -depth)
// faces, wound so that its front side looks away from the filled area.
void sideWalls(const GlyphOutline& g, double depth) {
    glBegin(GL_QUADS);
    for (const auto& contour : g.contours) {
        for (std::size_t i = 0; i < contour.size(); ++i) {
            OutlinePoint a = contour[i], b = contour[(i + 1) % contour.size()];
            if (g.fillOnRight) std::swap(a, b);
            glNormal3d(b.y - a.y, a.x - b.x, 0);
            glVertex3d(a.x, a.y, 0);
            glVertex3d(a.x, a.y, -depth);
            glVertex3d(b.x, b.y, -depth);
            glVertex3d(b.x, b.y, 0);
        }
    }
    glEnd();
}

void outlineLoops(const GlyphOutline& g) {
    for (const auto& contour : g.contours) {
        glBegin(GL_LINE_LOOP);
        for (const OutlinePoint& p : contour) glVertex3d(p.x, p.y, 0);
        glEnd();
    }
}

}  // namespace

void compileBitmapLists(FontFace& face, std::int32_t first, std::int32_t count, std::uint32_t listBase) {
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    for (std::int32_t i = 0; i < count; ++i) {
        const char32_t cp = characterOf(first + i);
        const GlyphBitmap g = cp ? face.bitmap(cp) : GlyphBitmap{};
        glNewList(listBase + static_cast<std::uint32_t>(i), GL_COMPILE);
        compileBitmap(g);
        glEndList();
    }
    glPopClientAttrib();
}

namespace {

// A tessellator whose callbacks put the polygons into the list being compiled.
struct Tessellator {
    GLUtesselator* tess = gluNewTess();
    Tessellator() {
        if (!tess) return;
        gluTessCallback(tess, GLU_TESS_BEGIN, reinterpret_cast<_GLUfuncptr>(&onBegin));
        gluTessCallback(tess, GLU_TESS_VERTEX, reinterpret_cast<_GLUfuncptr>(&onVertex));
        gluTessCallback(tess, GLU_TESS_END, &onEnd);
        gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(&onCombine));
        gluTessCallback(tess, GLU_TESS_ERROR, reinterpret_cast<_GLUfuncptr>(&onError));
        gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
    }
    ~Tessellator() {
        if (tess) gluDeleteTess(tess);
    }
    Tessellator(const Tessellator&) = delete;
    Tessellator& operator=(const Tessellator&) = delete;
};

void compileOutlineGlyph(GLUtesselator* tess, const GlyphOutline& g, std::uint32_t list, float extrusion,
                         TFont3DFormat format) {
    glNewList(list, GL_COMPILE);
    // The lists wind counter-clockwise; Draw3DText restores the caller's orientation.
    glFrontFace(GL_CCW);
    if (format == TFont3DFormat::f_WGL_FONT_POLYGONS) {
        tessellateCap(tess, g, 0.0, 1.0);
        if (extrusion != 0.0f) {
            tessellateCap(tess, g, -double(extrusion), -1.0);
            sideWalls(g, extrusion);
        }
    } else {
        outlineLoops(g);
    }
    glTranslated(g.metrics.gmfCellIncX, g.metrics.gmfCellIncY, 0);
    glEndList();
}

GlyphOutline outlineOf(FontFace* face, std::int32_t code, float maxDeviation) {
    const char32_t cp = characterOf(code);
    return face && cp ? face->outline(cp, maxDeviation) : GlyphOutline{};
}

}  // namespace

void compileOutlineLists(FontFace& face, std::int32_t first, std::int32_t count, std::uint32_t listBase,
                         float maxDeviation, float extrusion, TFont3DFormat format,
                         std::vector<GlyphMetricsFloat>& metrics) {
    metrics.assign(static_cast<std::size_t>(count), GlyphMetricsFloat{});
    const Tessellator t;
    if (!t.tess) return;
    for (std::int32_t i = 0; i < count; ++i) {
        const GlyphOutline g = outlineOf(&face, first + i, maxDeviation);
        metrics[static_cast<std::size_t>(i)] = g.metrics;
        compileOutlineGlyph(t.tess, g, listBase + static_cast<std::uint32_t>(i), extrusion, format);
    }
}

OutlineGlyphLists::OutlineGlyphLists(std::unique_ptr<FontFace> face, std::int32_t first, std::int32_t count,
                                     std::uint32_t listBase, float maxDeviation, float extrusion,
                                     TFont3DFormat format)
    : face_(std::move(face)),
      first_(first),
      listBase_(listBase),
      maxDeviation_(maxDeviation),
      extrusion_(extrusion),
      format_(format),
      metrics_(static_cast<std::size_t>(std::max(count, 0))),
      compiled_(metrics_.size(), false) {
    for (std::size_t i = 0; i < metrics_.size(); ++i)
        metrics_[i] = outlineOf(face_.get(), first_ + static_cast<std::int32_t>(i), maxDeviation_).metrics;
}

OutlineGlyphLists::~OutlineGlyphLists() = default;

void OutlineGlyphLists::compileFor(std::string_view text) {
    if (!face_) return;
    GLint compiling = 0;
    glGetIntegerv(GL_LIST_INDEX, &compiling);
    if (compiling != 0) return;    // lists do not nest
    std::optional<Tessellator> t;  // made for the first glyph to compile
    for (const char c : text) {
        const std::size_t i = static_cast<std::size_t>(static_cast<unsigned char>(c) - first_);
        if (i >= compiled_.size() || compiled_[i]) continue;
        if (!t) t.emplace();
        if (!t->tess) return;
        const GlyphOutline g = outlineOf(face_.get(), first_ + static_cast<std::int32_t>(i), maxDeviation_);
        compileOutlineGlyph(t->tess, g, listBase_ + static_cast<std::uint32_t>(i), extrusion_, format_);
        compiled_[i] = true;
    }
}

int OutlineGlyphLists::compiledCount() const {
    return static_cast<int>(std::count(compiled_.begin(), compiled_.end(), true));
}

}  // namespace m797::gl
