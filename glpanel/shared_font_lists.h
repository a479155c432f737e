#pragma once
// The panels' own fonts, built once per list namespace (OpenGL share group)
// and shared by every panel that asks for the same font: the five charts ask
// for identical outline fonts, each costing tens of milliseconds and several
// megabytes to build. Counted users; the last one deletes the lists.
//
// Building needs a context of the share group current.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "glpanel/rules/opengl_font.h"

class QOpenGLContextGroup;

namespace m797::gl {

class OutlineGlyphLists;

// Everything the built lists depend on.
struct FontListsKey {
    bool outline = false;
    TFontDescription font;
    std::int32_t first = 0;
    std::int32_t count = 0;
    float maxDeviation = 0;
    float extrusion = 0;
    std::int32_t outlineFormat = 0;
    bool operator==(const FontListsKey&) const = default;
};

struct BuiltFontLists {
    std::uint32_t listBase = 0;  // 0: nothing could be built
    std::shared_ptr<OutlineGlyphLists>
        outlines;  // outline fonts: the metrics, and each glyph compiled when first drawn
};

class SharedFontLists {
public:
    static SharedFontLists& instance();

    // The lists of `key` in the current context's share group; `build` makes
    // them (glGenLists and the glyphs) when this group has none yet.
    BuiltFontLists acquire(const FontListsKey& key, const std::function<BuiltFontLists()>& build);
    // One user fewer of the lists at `listBase` in `group`; the last one
    // deletes them when a context of that group is current (otherwise they
    // go with the group).
    void release(const QOpenGLContextGroup* group, std::uint32_t listBase);
    // Fonts built since the start (tests see the sharing from it).
    int builds() const { return builds_; }

private:
    struct Entry {
        const QOpenGLContextGroup* group;
        FontListsKey key;
        BuiltFontLists lists;
        int users;
    };
    std::vector<Entry> entries_;
    int builds_ = 0;
};

}  // namespace m797::gl
