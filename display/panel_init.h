#pragma once
// The init handler shared by the seven panels: viewport, perspective
// projection, clear values and depth test.

#include "app/record/live_record.h"

namespace m797 {

class PanelSurface;

// Chart 3 leaves out the perspective-correction hint; nothing visible depends on it.
void initPanelView(PanelSurface& panel, bool perspectiveCorrectionHint = true);

// The opening every paint shares: clear, model-view saved and reset, line
// polygons, smooth lines, additive blending, no depth test. A panel whose
// every pixel was just put back from its snapshot needs no clear (nothing
// drawn here tests depth).
void beginLinePaint(bool clear = true);
// Text layer in pixels (origin top-left, y down): projection saved and replaced.
void beginTextLayer(const PanelSurface& panel);
void endTextLayer();

// The large value text of the charts: `colour`, filled glyphs, drawn flat
// under the value-text transform with the panel's outline font.
void drawValueText(PanelSurface& panel, const float colour[4], const Text& text);

}  // namespace m797
