#pragma once
// Panel 6, the status strip: framed groups of engine-flag indicators, the link
// status, the checksum, the error count and the port name. The picture is
// kept in the panel's snapshot and drawn anew only when one of them changes.

namespace m797 {

class PanelSnapshot;
class PanelSurface;
struct LiveRecord;

void paintStatusStrip(PanelSurface& panel, const LiveRecord& record, PanelSnapshot& snapshot);

// Whether indicator `order` (1..28) of the strip is lit with these flag states.
bool indicatorLit(const LiveRecord& record, int order);

}  // namespace m797
