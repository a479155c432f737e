#pragma once
// The paint handler of strip charts 1 to 5: grid, trace of the selected
// parameter's history, title, paired text, scale labels and the large value
// text. The grid and the texts are kept in the panel's snapshot while
// they stay the same; the trace is drawn anew every time.

namespace m797 {

class PanelSnapshot;
class PanelSurface;
struct LiveRecord;

void paintChart(PanelSurface& panel, const LiveRecord& record, int parameterNumber, PanelSnapshot& snapshot);

}  // namespace m797
