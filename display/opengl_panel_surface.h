#pragma once
// The panel widget seen by the paint handlers.

#include "display/panel_surface.h"

class TOpenGLPanel;

namespace m797 {

class OpenGLPanelSurface : public PanelSurface {
public:
    explicit OpenGLPanelSurface(TOpenGLPanel& panel) : panel_(panel) {}
    int panelWidth() const override;
    int panelHeight() const override;
    int pixelWidth() const override;
    int pixelHeight() const override;
    bool frameOnScreen() const override;
    void keepFrameOnScreen() override;
    void draw2DText(const Text& text) override;
    void draw3DText(const Text& text) override;

private:
    TOpenGLPanel& panel_;
};

}  // namespace m797
