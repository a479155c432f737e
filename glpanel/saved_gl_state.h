#pragma once
// The few pieces of GL state that a panel's helpers change for a moment and
// put back, saved one by one instead of with glPushAttrib: Mesa gives every
// context, on its first glPushAttrib at each depth, a zeroed 2.5 MB record of
// the whole state, kept until the context goes; seven panels paid 18 MB of
// resident memory for a scissor flag and a list base.
//
// Each saver reads its state when made and puts it back when it goes.

#include <GL/gl.h>

namespace m797::gl {

// The scissor test switched off for a copy of whole framebuffers.
class ScissorOff {
public:
    ScissorOff() : wasOn_(glIsEnabled(GL_SCISSOR_TEST)) {
        if (wasOn_) glDisable(GL_SCISSOR_TEST);
    }
    ~ScissorOff() {
        if (wasOn_) glEnable(GL_SCISSOR_TEST);
    }
    ScissorOff(const ScissorOff&) = delete;
    ScissorOff& operator=(const ScissorOff&) = delete;

private:
    GLboolean wasOn_;
};

// glListBase set for one call of glCallLists.
class ListBaseFor {
public:
    explicit ListBaseFor(GLuint base) {
        glGetIntegerv(GL_LIST_BASE, &saved_);
        glListBase(base);
    }
    ~ListBaseFor() { glListBase(static_cast<GLuint>(saved_)); }
    ListBaseFor(const ListBaseFor&) = delete;
    ListBaseFor& operator=(const ListBaseFor&) = delete;

private:
    GLint saved_ = 0;
};

// The 2D texture bound to the active unit, put back after another is bound.
class Texture2DBinding {
public:
    Texture2DBinding() { glGetIntegerv(GL_TEXTURE_BINDING_2D, &saved_); }
    ~Texture2DBinding() { glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(saved_)); }
    Texture2DBinding(const Texture2DBinding&) = delete;
    Texture2DBinding& operator=(const Texture2DBinding&) = delete;

private:
    GLint saved_ = 0;
};

}  // namespace m797::gl
