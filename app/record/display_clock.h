#pragma once
// The display clock's tick: ages every stored sample, appends the newest whole
// set of plot values, and says which panels to repaint. Runs on the window
// thread every tickPeriodMs; allocates nothing.

namespace m797 {

struct LiveRecord;

struct TickOutcome {
    bool killClock = false;          // "Старт" is enabled: this is the last tick
    bool repaintLivePanels = false;  // panels 1..5 and 7
    // Panel 6 is repainted on every tick.
};

TickOutcome displayTick(LiveRecord& record, bool startEnabled);

}  // namespace m797
