#include "ecu/actuator_session.h"

#include <algorithm>

#include "app/record/record_lock.h"
#include "ecu/request_table.h"

namespace m797 {
namespace {

bool drivesAnOutput(int entry) { return entry >= 0 && entry < kActuatorEntries; }
bool isIdleControl(int entry) { return entry >= kFirstIdleControlEntry && entry < kActuatorEntries; }

// Upper limits of the set values of entries 12..14 (the lower one is 0).
constexpr std::int32_t kSetValueLimit[3] = {255, 255, 100};

// Parameters 54 MOMPOS and 58 NSOL give the start values of entries 12 and 13.
std::int32_t rawByteOf(const RecordLock& held, int parameterNumber) {
    const SlotRef slot = slotOf(parameterNumber);
    if (slot.kind != SlotKind::Analog) return 0;
    return held.record().analog[slot.index].raw[0];
}

}  // namespace

ActuatorSession::ActuatorSession(LiveRecord& record) : record_(record) {}

void ActuatorSession::select(int entry) {
    if (closed_) return;
    if (drivesAnOutput(selected_)) record_.actuator[selected_].releaseRequest = 1;
    if (drivesAnOutput(entry)) {
        putUnderTest(entry);
        selected_ = entry;
    } else if (entry == kEcuResetEntry || entry == kEcuInitEntry) {
        for (ActuatorEntry& a : record_.actuator) a.reportRequest = 0;
        selectedUnderTest_ = false;
        selected_ = 0;
    }
}

void ActuatorSession::putUnderTest(int entry) {
    for (int e = 0; e < kActuatorEntries; ++e) record_.actuator[e].reportRequest = e == entry ? 1 : 0;
    selectedUnderTest_ = true;
    const RecordWriteLock held(record_);
    forgetStateOf(entry, held);
    if (entry == 12) record_.actuator[12].setValue = rawByteOf(held, 54);
    if (entry == 13) record_.actuator[13].setValue = rawByteOf(held, 58);
    if (entry == 14) record_.actuator[14].setValue = 0;
    record_.actuator[entry].shownValue = record_.actuator[entry].setValue;
}

// An output is forced only while it is under test, so that its state is read
// back and closing the window or ending the program releases it.
void ActuatorSession::keepUnderTest(int entry) {
    if (record_.actuator[entry].reportRequest != 1) record_.actuator[entry].reportRequest = 1;
    selectedUnderTest_ = true;
}

void ActuatorSession::pressUp() {
    if (closed_) return;
    if (actuatorHasOn(selected_)) {
        keepUnderTest(selected_);
        record_.actuator[selected_].onRequest = 1;
    } else if (isIdleControl(selected_)) {
        stepSetValue(selected_, +1);
    }
}

void ActuatorSession::pressDown() {
    if (closed_) return;
    if (actuatorHasOff(selected_)) {
        keepUnderTest(selected_);
        record_.actuator[selected_].offRequest = 1;
    } else if (isIdleControl(selected_)) {
        stepSetValue(selected_, -1);
    }
}

void ActuatorSession::stepSetValue(int entry, int step) {
    ActuatorEntry& a = record_.actuator[entry];
    {
        const RecordWriteLock held(record_);
        const std::int32_t limit = kSetValueLimit[entry - kFirstIdleControlEntry];
        const bool room = step > 0 ? a.setValue < limit : a.setValue > 0;
        if (room) a.setValue += step;
        completeSetValueFrame(held, entry, a.setValue);
    }
    keepUnderTest(entry);
    a.setRequest = 1;
}

// Leaving an entry and coming back to it before the thread's next cycle
// leaves both its release and its report pending; serving the release also
// ends the report. The selected entry then goes under test again.
void ActuatorSession::refresh() {
    if (closed_ || !drivesAnOutput(selected_)) return;
    ActuatorEntry& a = record_.actuator[selected_];
    if (a.reportRequest == 1)
        selectedUnderTest_ = true;  // also after "Да" in a confirmation
    else if (selectedUnderTest_ && a.releaseRequest == 0)
        a.reportRequest = 1;
}

void ActuatorSession::confirmationClosed(Confirmation which, bool yes) {
    if (closed_ || !yes) return;
    (which == Confirmation::Reset ? record_.ecuResetRequest : record_.ecuInitRequest) = 1;
    // The selection is back on entry 0, now under test again.
    {
        const RecordWriteLock held(record_);
        forgetStateOf(0, held);
    }
    record_.actuator[0].reportRequest = 1;
}

// Whatever was read of an entry before it went under test is no longer
// known: its state shows again once the thread has read it.
void ActuatorSession::forgetStateOf(int entry, const RecordWriteLock& held) {
    held.record().actuator[entry].stateText.clear();
}

void ActuatorSession::close() {
    if (closed_) return;
    closed_ = true;
    withdrawCommands(record_);
    if (drivesAnOutput(selected_)) record_.actuator[selected_].releaseRequest = 1;
}

void ActuatorSession::withdrawCommands(LiveRecord& record) {
    for (ActuatorEntry& a : record.actuator) {
        a.onRequest = 0;
        a.offRequest = 0;
        a.setRequest = 0;
    }
    record.ecuResetRequest = 0;
    record.ecuInitRequest = 0;
}

bool ActuatorSession::requestExitRelease(LiveRecord& record) {
    for (ActuatorEntry& entry : record.actuator) {
        const bool underTest = entry.reportRequest.load() == 1 || entry.onRequest.load() == 1 ||
                               entry.offRequest.load() == 1 || entry.setRequest.load() == 1 ||
                               entry.driven.load() == 1;
        if (underTest) entry.releaseRequest.store(1);
    }
    return releasePending(record);
}

bool ActuatorSession::releasePending(const LiveRecord& record) {
    return std::any_of(std::begin(record.actuator), std::end(record.actuator),
                       [](const ActuatorEntry& e) { return e.releaseRequest.load() == 1; });
}

bool ActuatorSession::drivenOutputAwaitsRelease(const LiveRecord& record) {
    return std::any_of(std::begin(record.actuator), std::end(record.actuator), [](const ActuatorEntry& e) {
        return e.releaseRequest.load() == 1 && e.driven.load() == 1;
    });
}

std::vector<int> ActuatorSession::outputsLeftForced(const LiveRecord& record) {
    std::vector<int> entries;
    for (int e = 0; e < kActuatorEntries; ++e)
        if (record.actuator[e].driven.load() == 1) entries.push_back(e);
    return entries;
}

}  // namespace m797
