#include "app/record/display_clock.h"

#include <cstring>

#include "app/record/record_lock.h"

namespace m797 {
namespace {

void ageAll(LiveRecord& r) {
    forEachSlotHistory(r, [](std::int32_t*, std::int32_t* age) {
        for (int k = 0; k < kHistoryLength; ++k) age[k] += 1;
    });
}

// history[0] = sample, age[0] = 0, then everything moves one place toward the old end.
void push(std::int32_t* history, std::int32_t* age, std::int32_t sample) {
    history[0] = sample;
    age[0] = 0;
    std::memmove(history + 1, history, (kHistoryLength - 1) * sizeof(std::int32_t));
    std::memmove(age + 1, age, (kHistoryLength - 1) * sizeof(std::int32_t));
}

void appendCurrentValues(LiveRecord& r) {
    const RecordWriteLock held(r);
    for (auto& s : r.analog) push(s.history, s.age, static_cast<std::int32_t>(s.plot));
    for (auto& s : r.counter) push(s.history, s.age, static_cast<std::int32_t>(s.plot));
    for (auto& s : r.flag) push(s.history, s.age, s.plot);
}

}  // namespace

TickOutcome displayTick(LiveRecord& record, bool startEnabled) {
    TickOutcome out;
    out.killClock = startEnabled;
    if (record.linkUp.load() == 1) {
        ageAll(record);
        if (record.newSample.exchange(0) == 1) appendCurrentValues(record);
        out.repaintLivePanels = true;
    }
    return out;
}

}  // namespace m797
