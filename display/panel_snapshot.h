#pragma once
// A panel's picture, or the part of it that changes only with its inputs,
// kept aside. It is drawn once with the ordinary GL calls, copied from the
// frame buffer, and copied back for as long as the inputs (the key) stay the
// same. Software OpenGL spends most of a frame on the texts, which change a
// few times a second at most; a copy between framebuffers of one format is a
// plain copy of memory there.
//
// The copy lives in a framebuffer of the panel's context: every call is made
// with that context current, and forget() is called when the context is made
// anew (the panel's init event). Its names go with the context.

#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

#include "app/record/live_record.h"
#include "display/panel_surface.h"

class QOpenGLContext;
class QOpenGLExtraFunctions;

namespace m797 {

// Everything a kept picture depends on, as bytes.
class SnapshotKey {
public:
    SnapshotKey& add(const Text& text) {
        add(text.size());
        bytes_ += text;
        return *this;
    }
    template <typename T>
    requires std::is_trivially_copyable_v<T> SnapshotKey& add(const T& plain) {
        char raw[sizeof(T)];
        std::memcpy(raw, &plain, sizeof(T));
        bytes_.append(raw, sizeof(T));
        return *this;
    }
    const std::string& bytes() const { return bytes_; }
    void clear() { bytes_.clear(); }  // keeps the storage

private:
    std::string bytes_;
};

class PanelSnapshot {
public:
    // Puts back the picture kept under `key` at the panel's size, replacing
    // every pixel; or, when there is none, calls `draw` and keeps what it
    // drew.
    template <typename Draw>
    void show(const PanelSurface& panel, const SnapshotKey& key, Draw&& draw) {
        const int width = panel.pixelWidth();
        const int height = panel.pixelHeight();
        if (restore(key, width, height)) return;
        draw();
        keep(key, width, height);
    }
    // For a panel whose whole picture is kept: when the screen still shows
    // the picture kept under `key`, the panel leaves it there and nothing is
    // drawn or copied; otherwise as show().
    template <typename Draw>
    void showWhole(PanelSurface& panel, const SnapshotKey& key, Draw&& draw) {
        if (panel.frameOnScreen() && holds(key, panel.pixelWidth(), panel.pixelHeight()) && onScreen_) {
            panel.keepFrameOnScreen();
            return;
        }
        show(panel, key, std::forward<Draw>(draw));
        onScreen_ = valid_;
    }
    // The context was made anew: its names went with the old one.
    void forget();
    // An empty key to fill for this paint; its storage lives on from paint
    // to paint, so a paint allocates nothing for it.
    SnapshotKey& newKey() {
        scratch_.clear();
        return scratch_;
    }
    // How many pictures were kept; tests see from it when a panel redrew.
    int keptCount() const { return kept_; }

private:
    bool restore(const SnapshotKey& key, int width, int height);
    // Where the copy cannot be made (no framebuffer blits, a GL error)
    // nothing is kept, now or later, and the panel draws everything every
    // time.
    void keep(const SnapshotKey& key, int width, int height);
    bool holds(const SnapshotKey& key, int width, int height) const;
    void makeStore(QOpenGLExtraFunctions& f, int width, int height);

    const QOpenGLContext* context_ = nullptr;  // where the names below belong
    unsigned texture_ = 0;
    unsigned framebuffer_ = 0;
    std::string key_;
    SnapshotKey scratch_;
    int width_ = 0;
    int height_ = 0;
    bool valid_ = false;
    bool broken_ = false;
    bool onScreen_ = false;  // the last showWhole() presented the kept picture
    int kept_ = 0;
};

}  // namespace m797
