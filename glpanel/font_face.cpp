#include "glpanel/font_face.h"

#include <fontconfig/fontconfig.h>
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <string>

namespace m797::gl {

namespace {

std::string matchFontFile(const TFontDescription& d, int& faceIndex) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(d.name.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, d.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, d.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string file;
    if (match) {
        FcChar8* path = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
            file = reinterpret_cast<const char*>(path);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &faceIndex) != FcResultMatch) faceIndex = 0;
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return file;
}

unsigned pixelEmFor(FT_Face face, std::int32_t height) {
    if (height < 0) return static_cast<unsigned>(-static_cast<std::int64_t>(height));
    if (height == 0) return 16;
    const int cell = face->ascender - face->descender;  // design units
    if (cell <= 0) return static_cast<unsigned>(height);
    return std::max(1u, static_cast<unsigned>(std::lround(double(height) * face->units_per_EM / cell)));
}

// Collects the contours of an outline, flattening its curves.
struct Flattener {
    double scale = 1;      // design units to em
    double tolerance = 0;  // em
    std::vector<std::vector<OutlinePoint>>* contours = nullptr;
    OutlinePoint pen;

    OutlinePoint point(const FT_Vector* v) const { return {v->x * scale, v->y * scale}; }
    void add(OutlinePoint p) {
        contours->back().push_back(p);
        pen = p;
    }
    int steps(double secondDifference) const {
        if (tolerance <= 0) return 8;
        return std::clamp(static_cast<int>(std::ceil(std::sqrt(secondDifference / (8 * tolerance)))), 1, 64);
    }
    static int moveTo(const FT_Vector* to, void* user) {
        auto* f = static_cast<Flattener*>(user);
        f->contours->emplace_back();
        f->add(f->point(to));
        return 0;
    }
    static int lineTo(const FT_Vector* to, void* user) {
        auto* f = static_cast<Flattener*>(user);
        f->add(f->point(to));
        return 0;
    }
    static int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
        auto* f = static_cast<Flattener*>(user);
        const OutlinePoint p0 = f->pen, p1 = f->point(control), p2 = f->point(to);
        const int n = f->steps(std::hypot(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y));
        for (int i = 1; i <= n; ++i) {
            const double t = double(i) / n, u = 1 - t;
            f->add(
                {u * u * p0.x + 2 * u * t * p1.x + t * t * p2.x, u * u * p0.y + 2 * u * t * p1.y + t * t * p2.y});
        }
        return 0;
    }
    static int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
        auto* f = static_cast<Flattener*>(user);
        const OutlinePoint p0 = f->pen, p1 = f->point(c1), p2 = f->point(c2), p3 = f->point(to);
        const double d = std::max(std::hypot(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y),
                                  std::hypot(p1.x - 2 * p2.x + p3.x, p1.y - 2 * p2.y + p3.y));
        const int n = f->steps(6 * d);
        for (int i = 1; i <= n; ++i) {
            const double t = double(i) / n, u = 1 - t;
            const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, e = t * t * t;
            f->add({a * p0.x + b * p1.x + c * p2.x + e * p3.x, a * p0.y + b * p1.y + c * p2.y + e * p3.y});
        }
        return 0;
    }
};

}  // namespace

std::unique_ptr<FontFace> FontFace::open(const TFontDescription& description) {
    int faceIndex = 0;
    const std::string file = matchFontFile(description, faceIndex);
    if (file.empty()) return nullptr;
    std::unique_ptr<FontFace> f(new FontFace);
    if (FT_Init_FreeType(&f->library_) != 0) return nullptr;
    if (FT_New_Face(f->library_, file.c_str(), faceIndex, &f->face_) != 0) return nullptr;
    FT_Select_Charmap(f->face_, FT_ENCODING_UNICODE);
    f->pixelEm_ = pixelEmFor(f->face_, description.height);
    if (FT_Set_Pixel_Sizes(f->face_, 0, f->pixelEm_) != 0) return nullptr;
    return f;
}

FontFace::~FontFace() {
    if (face_) FT_Done_Face(face_);
    if (library_) FT_Done_FreeType(library_);
}

std::string FontFace::familyName() const { return face_->family_name ? face_->family_name : ""; }
bool FontFace::bold() const { return (face_->style_flags & FT_STYLE_FLAG_BOLD) != 0; }
bool FontFace::italic() const { return (face_->style_flags & FT_STYLE_FLAG_ITALIC) != 0; }

GlyphBitmap FontFace::bitmap(char32_t cp) {
    GlyphBitmap g;
    const FT_UInt index = FT_Get_Char_Index(face_, cp);
    // FreeType's auto-hinter, not the font's own hints: at 11 pixels those
    // widen '0', 'O', 'о' and '8' until they touch their neighbours and thin
    // the bold face to one pixel; the auto-hinted glyphs keep a gap and two-pixel bold stems.
    constexpr FT_Int32 kLoad = FT_LOAD_RENDER | FT_LOAD_FORCE_AUTOHINT | FT_LOAD_TARGET_MONO;
    if (index == 0 || FT_Load_Glyph(face_, index, kLoad) != 0) return g;
    const FT_GlyphSlot slot = face_->glyph;
    if (slot->bitmap.pixel_mode != FT_PIXEL_MODE_MONO && FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return g;
    const FT_Bitmap& b = slot->bitmap;
    g.width = static_cast<int>(b.width);
    g.rows = static_cast<int>(b.rows);
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    const int rowBytes = (g.width + 7) / 8;
    g.bits.assign(static_cast<std::size_t>(rowBytes) * g.rows, 0);
    // FreeType rows run top-down (a negative pitch means bottom-up storage).
    for (int r = 0; r < g.rows; ++r) {
        const unsigned char* src = b.pitch >= 0 ? b.buffer + std::ptrdiff_t{r} * b.pitch
                                                : b.buffer + std::ptrdiff_t{g.rows - 1 - r} * -b.pitch;
        std::copy(src, src + rowBytes, g.bits.begin() + static_cast<std::ptrdiff_t>(g.rows - 1 - r) * rowBytes);
    }
    return g;
}

GlyphOutline FontFace::outline(char32_t cp, float maxDeviation) {
    GlyphOutline g;
    const FT_UInt index = FT_Get_Char_Index(face_, cp);
    if (index == 0 || FT_Load_Glyph(face_, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) return g;
    const FT_GlyphSlot slot = face_->glyph;
    const double scale = 1.0 / face_->units_per_EM;
    g.metrics.gmfCellIncX = static_cast<float>(slot->advance.x * scale);
    g.metrics.gmfCellIncY = 0;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE || slot->outline.n_points == 0) return g;
    FT_BBox box;
    FT_Outline_Get_CBox(&slot->outline, &box);
    g.metrics.gmfBlackBoxX = static_cast<float>((box.xMax - box.xMin) * scale);
    g.metrics.gmfBlackBoxY = static_cast<float>((box.yMax - box.yMin) * scale);
    g.metrics.gmfptGlyphOriginX = static_cast<float>(box.xMin * scale);
    g.metrics.gmfptGlyphOriginY = static_cast<float>(box.yMax * scale);
    g.fillOnRight = FT_Outline_Get_Orientation(&slot->outline) == FT_ORIENTATION_TRUETYPE;
    Flattener flattener;
    flattener.scale = scale;
    flattener.tolerance = maxDeviation;
    flattener.contours = &g.contours;
    FT_Outline_Funcs funcs{};
    funcs.move_to = &Flattener::moveTo;
    funcs.line_to = &Flattener::lineTo;
    funcs.conic_to = &Flattener::conicTo;
    funcs.cubic_to = &Flattener::cubicTo;
    FT_Outline_Decompose(&slot->outline, &funcs, &flattener);
    // A closed contour repeats its first point at the end; the polygons do not need it.
    for (auto& c : g.contours) {
        if (c.size() > 1 && c.front().x == c.back().x && c.front().y == c.back().y) c.pop_back();
    }
    std::erase_if(g.contours, [](const auto& c) { return c.size() < 3; });
    return g;
}

}  // namespace m797::gl
