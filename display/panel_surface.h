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
    // Draws with the panel's bitmap font at the current raster position.
    virtual void draw2DText(const Text& text) = 0;
    // Draws with the panel's outline font under the current model-view transform.
    virtual void draw3DText(const Text& text) = 0;
};

}  // namespace m797
