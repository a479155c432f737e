#pragma once
// Panel 6, the status strip: framed groups of engine-flag indicators, the link
// status, the checksum, the error count and the port name.

namespace m797 {

class PanelSurface;
struct LiveRecord;

void paintStatusStrip(PanelSurface& panel, const LiveRecord& record);

// Whether indicator `order` (1..28) of the strip is lit with these flag states.
bool indicatorLit(const LiveRecord& record, int order);

}  // namespace m797
