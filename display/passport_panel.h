#pragma once
// Panel 7, the passport: the identification of the control unit and of the car.
// The picture is kept in the panel's snapshot until the identification changes.

namespace m797 {

class PanelSnapshot;
class PanelSurface;
struct LiveRecord;

void paintPassport(PanelSurface& panel, const LiveRecord& record, PanelSnapshot& snapshot);

}  // namespace m797
