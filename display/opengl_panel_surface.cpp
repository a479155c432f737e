#include "display/opengl_panel_surface.h"

#include "glpanel/opengl_panel.h"

namespace m797 {

int OpenGLPanelSurface::panelWidth() const { return panel_.width(); }
int OpenGLPanelSurface::panelHeight() const { return panel_.height(); }
int OpenGLPanelSurface::pixelWidth() const { return panel_.pixelSize().width(); }
int OpenGLPanelSurface::pixelHeight() const { return panel_.pixelSize().height(); }
bool OpenGLPanelSurface::frameOnScreen() const { return panel_.FrameOnScreen(); }
void OpenGLPanelSurface::keepFrameOnScreen() { panel_.KeepFrameOnScreen(); }
void OpenGLPanelSurface::draw2DText(const Text& text) { panel_.Draw2DText(text); }
void OpenGLPanelSurface::draw3DText(const Text& text) { panel_.Draw3DText(text); }

}  // namespace m797
