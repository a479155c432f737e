#pragma once
// Panel 7, the passport: the identification of the control unit and of the car.

namespace m797 {

class PanelSurface;
struct LiveRecord;

void paintPassport(PanelSurface& panel, const LiveRecord& record);

}  // namespace m797
