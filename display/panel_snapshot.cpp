#include "display/panel_snapshot.h"

#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>

#include "glpanel/saved_gl_state.h"

namespace m797 {
namespace {

struct Bindings {
    GLint draw = 0;
    GLint read = 0;
};

Bindings currentBindings() {
    Bindings b;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &b.draw);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &b.read);
    return b;
}

// Copies width x height from the lower-left of one framebuffer to the other:
// a plain copy of memory when both hold the same format.
void copyPixels(QOpenGLExtraFunctions& f, GLuint from, GLuint to, int width, int height,
                const Bindings& restoreTo) {
    const gl::ScissorOff wholeBuffer;
    f.glBindFramebuffer(GL_READ_FRAMEBUFFER, from);
    f.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, to);
    f.glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    f.glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(restoreTo.read));
    f.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(restoreTo.draw));
}

void clearErrors() {
    while (glGetError() != GL_NO_ERROR) {
    }
}

}  // namespace

bool PanelSnapshot::holds(const SnapshotKey& key, int width, int height) const {
    return valid_ && context_ == QOpenGLContext::currentContext() && width == width_ && height == height_ &&
           key.bytes() == key_;
}

bool PanelSnapshot::restore(const SnapshotKey& key, int width, int height) {
    if (!holds(key, width, height)) return false;
    const Bindings b = currentBindings();
    copyPixels(*QOpenGLContext::currentContext()->extraFunctions(), framebuffer_, static_cast<GLuint>(b.draw),
               width, height, b);
    return true;
}

void PanelSnapshot::keep(const SnapshotKey& key, int width, int height) {
    valid_ = false;
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (broken_ || !context || width <= 0 || height <= 0) return;
    if (!QOpenGLFramebufferObject::hasOpenGLFramebufferBlit()) {
        broken_ = true;  // nothing to copy with: the panel draws everything every time
        return;
    }
    // The paint handlers never look at GL errors; only the copy's own count here.
    clearErrors();
    QOpenGLExtraFunctions& f = *context->extraFunctions();
    if (context != context_ || width != width_ || height != height_) makeStore(f, width, height);
    if (broken_) return;
    const Bindings b = currentBindings();
    copyPixels(f, static_cast<GLuint>(b.draw), framebuffer_, width, height, b);
    if (glGetError() != GL_NO_ERROR) {
        broken_ = true;
        return;
    }
    context_ = context;
    key_ = key.bytes();
    width_ = width;
    height_ = height;
    valid_ = true;
    ++kept_;
}

// A framebuffer of the panel's own format (RGBA, 8 bits each) over a texture.
void PanelSnapshot::makeStore(QOpenGLExtraFunctions& f, int width, int height) {
    if (context_ != QOpenGLContext::currentContext()) forget();
    if (texture_ == 0) glGenTextures(1, &texture_);
    if (framebuffer_ == 0) f.glGenFramebuffers(1, &framebuffer_);
    {
        const gl::Texture2DBinding putBack;
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    }
    const Bindings b = currentBindings();
    f.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    f.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
    if (f.glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) broken_ = true;
    f.glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(b.read));
    f.glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(b.draw));
    context_ = QOpenGLContext::currentContext();
}

void PanelSnapshot::forget() {
    // The names went with the context they were made in.
    texture_ = 0;
    framebuffer_ = 0;
    context_ = nullptr;
    valid_ = false;
    onScreen_ = false;
    broken_ = false;
}

}  // namespace m797
