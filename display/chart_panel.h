#pragma once
// The paint handler of strip charts 1 to 5: grid, trace of the selected
// parameter's history, title, paired text, scale labels and the large value
// text.

namespace m797 {

class PanelSurface;
struct LiveRecord;

void paintChart(PanelSurface& panel, const LiveRecord& record, int parameterNumber);

}  // namespace m797
