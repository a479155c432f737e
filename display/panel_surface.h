#pragma once
// What the paint handlers need of a drawing panel: its size and its two text
// calls. The OpenGL panel widget provides it; the handlers run with the
// panel's context current.

#include "app/record/live_record.h"

namespace m797 {

class PanelSurface {
public:
    virtual ~PanelSurface() = default;
    virtual int panelWidth() const = 0;
    virtual int panelHeight() const = 0;
    // The frame buffer in device pixels (twice the panel's size with a
    // scale factor of 2).
    virtual int pixelWidth() const { return panelWidth(); }
    virtual int pixelHeight() const { return panelHeight(); }
    // Inside a paint: the screen still shows the frame the panel presented
    // last (nothing has covered it since), and the panel may be asked to
    // leave it there instead of presenting the same picture again.
    virtual bool frameOnScreen() const { return false; }
    virtual void keepFrameOnScreen() {}
    // Draws with the panel's bitmap font at the current raster position.
    virtual void draw2DText(const Text& text) = 0;
    // Draws with the panel's outline font under the current model-view transform.
    virtual void draw3DText(const Text& text) = 0;
};

}  // namespace m797
