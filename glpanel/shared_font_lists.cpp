#include "glpanel/shared_font_lists.h"

#include <GL/gl.h>

#include <QOpenGLContext>
#include <algorithm>

namespace m797::gl {

namespace {

const QOpenGLContextGroup* currentGroup() {
    const QOpenGLContext* c = QOpenGLContext::currentContext();
    return c ? c->shareGroup() : nullptr;
}

}  // namespace

SharedFontLists& SharedFontLists::instance() {
    static SharedFontLists lists;
    return lists;
}

BuiltFontLists SharedFontLists::acquire(const FontListsKey& key, const std::function<BuiltFontLists()>& build) {
    const QOpenGLContextGroup* group = currentGroup();
    for (Entry& e : entries_) {
        if (e.group == group && e.key == key) {
            ++e.users;
            return e.lists;
        }
    }
    ++builds_;
    BuiltFontLists built = build();
    if (built.listBase != 0) entries_.push_back(Entry{group, key, built, 1});
    return built;
}

void SharedFontLists::release(const QOpenGLContextGroup* group, std::uint32_t listBase) {
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const Entry& e) { return e.group == group && e.lists.listBase == listBase; });
    if (it == entries_.end()) return;
    if (--it->users > 0) return;
    if (group && currentGroup() == group) glDeleteLists(listBase, it->key.count);
    entries_.erase(it);
}

}  // namespace m797::gl
