// TOpenGLPanel: fonts as display lists, 2D and 3D text.
#include <GL/gl.h>

#include <QOpenGLContext>
#include <cmath>

#include "glpanel/font_face.h"
#include "glpanel/glyph_lists.h"
#include "glpanel/opengl_panel.h"
#include "glpanel/saved_gl_state.h"
#include "glpanel/shared_font_lists.h"

using namespace m797::gl;

namespace {

// Bitmap glyphs are device pixels: at a scale factor of 2 the face is
// rendered twice as high, so flat text grows with everything else.
TFontDescription atPixelRatio(const TFontDescription& font, qreal ratio) {
    if (ratio == 1.0) return font;
    TFontDescription scaled = font;
    const std::int32_t height = font.height == 0 ? -16 : font.height;  // 0: the face's default, 16 pixels
    scaled.height = static_cast<std::int32_t>(std::lround(height * ratio));
    return scaled;
}

// The list format asked for by number, as wglUseFontOutlines takes it: 0 lines, else polygons.
TFont3DFormat outlineFormatOf(std::int32_t number) {
    return number == 0 ? TFont3DFormat::f_WGL_FONT_LINES : TFont3DFormat::f_WGL_FONT_POLYGONS;
}

}  // namespace

std::unique_ptr<OpenGLFont2D> TOpenGLPanel::Create2DFont(const TFontDescription* font, std::int32_t first,
                                                         std::int32_t count) {
    if (!font || count <= 0) return nullptr;
    const GLuint base = glGenLists(count);
    if (base == 0) return nullptr;
    auto record = std::make_unique<OpenGLFont2D>(OpenGLFont2D{first, count, base});
    if (auto face = FontFace::open(atPixelRatio(*font, pixelRatio())))
        compileBitmapLists(*face, first, count, base);
    return record;
}

std::unique_ptr<OpenGLFont3D> TOpenGLPanel::Create3DFont(const TFontDescription* font, std::int32_t first,
                                                         std::int32_t count, float maxDeviation, float extrusion,
                                                         std::int32_t outlineFormat) {
    if (!font || count <= 0) return nullptr;
    const GLuint base = glGenLists(count);
    if (base == 0) return nullptr;
    auto record = std::make_unique<OpenGLFont3D>();
    record->firstGlyph = first;
    record->glyphCount = count;
    record->listBase = base;
    record->extrusion = extrusion;
    record->glyphMetrics.assign(static_cast<std::size_t>(count), GlyphMetricsFloat{});
    if (auto face = FontFace::open(*font))
        compileOutlineLists(*face, first, count, base, maxDeviation, extrusion, outlineFormatOf(outlineFormat),
                            record->glyphMetrics);
    return record;
}

void TOpenGLPanel::DeleteFont(const OpenGLFont2D& font) { glDeleteLists(font.listBase, font.glyphCount); }
void TOpenGLPanel::DeleteFont(const OpenGLFont3D& font) { glDeleteLists(font.listBase, font.glyphCount); }

// The panel's own fonts come from the lists shared by every panel of the
// share group that asks for the same font.
void TOpenGLPanel::Create2DFont() {
    releaseFont(font2D_);
    const FontListsKey key{false, atPixelRatio(font2DType_, pixelRatio()), Font2D_FirstGylph, Font2D_NumGylph};
    const BuiltFontLists lists = SharedFontLists::instance().acquire(key, [&] {
        const auto built = Create2DFont(&font2DType_, Font2D_FirstGylph, Font2D_NumGylph);
        return BuiltFontLists{built ? built->listBase : 0, nullptr};
    });
    if (lists.listBase != 0)
        font2D_ = std::make_unique<OpenGLFont2D>(OpenGLFont2D{Font2D_FirstGylph, Font2D_NumGylph, lists.listBase});
}

// The glyphs of numbers, which every chart shows: compiled with the font,
// in the context that builds it. Mesa keeps a vertex store in every context
// that compiles lists; glyphs compiled on first use by five charts cost five
// stores (2.8 MB more resident memory than one).
constexpr std::string_view kNumberGlyphs = "0123456789.,- ";

// The panel's outline font as Create3DFont makes it; the glyphs other than
// those of numbers are compiled when a text first shows them.
BuiltFontLists TOpenGLPanel::makeLazy3DFont() {
    const GLuint base = glGenLists(Font3D_NumGylph);
    if (Font3D_NumGylph <= 0 || base == 0) return {};
    auto glyphs = std::make_shared<OutlineGlyphLists>(FontFace::open(font3DType_), Font3D_FirstGylph,
                                                      Font3D_NumGylph, base, Font3D_MaxDeviation,
                                                      Font3D_Extrustion, font3DFormat_);
    glyphs->compileFor(kNumberGlyphs);
    return BuiltFontLists{base, glyphs};
}

void TOpenGLPanel::Create3DFont() {
    releaseFont(font3D_);
    font3DGlyphs_.reset();
    const FontListsKey key{
        true,          font3DType_, Font3D_FirstGylph, Font3D_NumGylph, Font3D_MaxDeviation, Font3D_Extrustion,
        outlineFormat_};
    const BuiltFontLists lists = SharedFontLists::instance().acquire(key, [&] { return makeLazy3DFont(); });
    if (lists.listBase == 0) return;
    font3DGlyphs_ = lists.outlines;
    font3D_ = std::make_unique<OpenGLFont3D>();
    font3D_->firstGlyph = Font3D_FirstGylph;
    font3D_->glyphCount = Font3D_NumGylph;
    font3D_->listBase = lists.listBase;
    font3D_->extrusion = Font3D_Extrustion;
    font3D_->glyphMetrics = lists.outlines->metrics();
}

template <typename Font>
void TOpenGLPanel::releaseFont(std::unique_ptr<Font>& font) {
    if (font && context_) SharedFontLists::instance().release(context_->shareGroup(), font->listBase);
    font.reset();
}

void TOpenGLPanel::releaseFonts() {
    releaseFont(font3D_);
    font3DGlyphs_.reset();
    releaseFont(font2D_);
}

namespace {

// Calls one list per byte, list base shifted so that byte c calls glyph c.
void callGlyphLists(std::uint32_t listBase, std::int32_t firstGlyph, std::string_view text) {
    const ListBaseFor shifted(listBase - static_cast<GLuint>(firstGlyph));
    glCallLists(static_cast<GLsizei>(text.size()), GL_UNSIGNED_BYTE, text.data());
}

}  // namespace

void TOpenGLPanel::Draw2DText(std::string_view text) { Draw2DText(font2D_.get(), text); }

void TOpenGLPanel::Draw2DText(const OpenGLFont2D* font, std::string_view text) {
    if (!font || text.empty() || !textInFontRange(font->firstGlyph, font->glyphCount, text)) return;
    callGlyphLists(font->listBase, font->firstGlyph, text);
}

void TOpenGLPanel::Draw3DText(std::string_view text) { Draw3DText(font3D_.get(), text); }

void TOpenGLPanel::Draw3DText(const OpenGLFont3D* font, std::string_view text) {
    if (!font || text.empty() || !textInFontRange(font->firstGlyph, font->glyphCount, text)) return;
    if (font == font3D_.get() && font3DGlyphs_) font3DGlyphs_->compileFor(text);
    GLint frontFace = GL_CCW;
    glGetIntegerv(GL_FRONT_FACE, &frontFace);
    callGlyphLists(font->listBase, font->firstGlyph, text);
    glFrontFace(static_cast<GLenum>(frontFace));
}

void TOpenGLPanel::Get3DTextSize(std::string_view text, double& x, double& y, double& z) {
    Get3DTextSize(font3D_.get(), text, x, y, z);
}

void TOpenGLPanel::Get3DTextSize(const OpenGLFont3D* font, std::string_view text, double& x, double& y,
                                 double& z) {
    if (font) measure3DText(*font, text, x, y, z);
}
