// The actuator session's rules: a sequence of the window's events and the
// request flags it leaves for the acquisition thread.

#include <gtest/gtest.h>
#include <memory>

#include <string>
#include <vector>

#include "app/record/live_record.h"
#include "ecu/actuator_session.h"
#include "ecu/request_table.h"

namespace m797 {
namespace {

using Flag = std::atomic<std::uint8_t> ActuatorEntry::*;

std::vector<int> flagged(const LiveRecord& r, Flag flag) {
    std::vector<int> entries;
    for (int e = 0; e < kActuatorEntries; ++e)
        if ((r.actuator[e].*flag).load() == 1) entries.push_back(e);
    return entries;
}

// One event of the window, or the thread serving a release.
struct Event {
    enum Kind { Select, Up, Down, Refresh, Yes, No, Close, ServeRelease } kind;
    int value = 0;  // the entry of Select and ServeRelease
};

Event select(int e) { return {Event::Select, e}; }
Event served(int e) { return {Event::ServeRelease, e}; }
const Event up{Event::Up}, down{Event::Down}, refresh{Event::Refresh}, yes{Event::Yes}, no{Event::No},
    closeWindow{Event::Close};

struct Expected {
    std::vector<int> report, release, on, off, set;
    int reset = 0, init = 0;
    int selected = 0;
};

struct Case {
    const char* name;
    std::vector<Event> events;
    Expected expected;
};

// The confirmation that the last selected entry 15 or 16 opened.
void run(ActuatorSession& s, LiveRecord& r, const std::vector<Event>& events) {
    int lastChoice = 0;
    for (const Event& e : events) {
        switch (e.kind) {
        case Event::Select:
            s.select(e.value);
            lastChoice = e.value;
            break;
        case Event::Up: s.pressUp(); break;
        case Event::Down: s.pressDown(); break;
        case Event::Refresh: s.refresh(); break;
        case Event::Yes:
        case Event::No:
            s.confirmationClosed(lastChoice == kEcuInitEntry ? ActuatorSession::Confirmation::Init
                                                             : ActuatorSession::Confirmation::Reset,
                                 e.kind == Event::Yes);
            break;
        case Event::Close: s.close(); break;
        case Event::ServeRelease:
            r.actuator[e.value].releaseRequest = 0;
            r.actuator[e.value].reportRequest = 0;
            break;
        }
    }
}

TEST(ActuatorSession, EventsLeaveTheRequestsForTheThread) {
    const Case cases[] = {
        {"opened", {}, {{0}, {}, {}, {}, {}}},
        {"another entry", {select(7)}, {{7}, {0}, {}, {}, {}, 0, 0, 7}},
        {"on", {select(7), up}, {{7}, {0}, {7}, {}, {}, 0, 0, 7}},
        {"off", {select(7), down}, {{7}, {0}, {}, {7}, {}, 0, 0, 7}},
        {"no off for the ignition", {select(4), down}, {{4}, {0}, {}, {}, {}, 0, 0, 4}},
        {"no off for the fuel pump", {select(6), down}, {{6}, {0}, {}, {}, {}, 0, 0, 6}},
        {"set value", {select(12), up}, {{12}, {0}, {}, {}, {12}, 0, 0, 12}},
        {"reset asked", {select(3), select(kEcuResetEntry)}, {{}, {0, 3}, {}, {}, {}}},
        {"reset confirmed", {select(kEcuResetEntry), yes}, {{0}, {0}, {}, {}, {}, 1, 0}},
        {"reset refused", {select(kEcuResetEntry), no}, {{}, {0}, {}, {}, {}}},
        {"initialisation confirmed", {select(kEcuInitEntry), yes}, {{0}, {0}, {}, {}, {}, 0, 1}},
        {"refused, then forced", {select(kEcuResetEntry), no, refresh, up}, {{0}, {0}, {0}, {}, {}}},
        {"back before the release",
         {select(3), select(9), select(3), served(3), refresh},
         {{3}, {0, 9}, {}, {}, {}, 0, 0, 3}},
        {"closed: the release stays, the commands go",
         {select(10), up, down, closeWindow},
         {{10}, {0, 10}, {}, {}, {}, 0, 0, 10}},
        {"closed: a set value goes", {select(14), up, closeWindow}, {{14}, {0, 14}, {}, {}, {}, 0, 0, 14}},
        {"closed: a confirmed reset goes", {select(kEcuResetEntry), yes, closeWindow}, {{0}, {0}, {}, {}, {}}},
        {"closed: a confirmed initialisation goes",
         {select(kEcuInitEntry), yes, closeWindow},
         {{0}, {0}, {}, {}, {}}},
        {"nothing after the close",
         {closeWindow, served(0), select(7), up, refresh, select(kEcuResetEntry), yes},
         {{}, {}, {}, {}, {}}},
    };
    for (const Case& c : cases) {
        std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
        LiveRecord& record = *ownedRecord;
        storeSetValueFrameHeads(record);
        record.actuatorWindowOpen = 1;  // as "Управление" opens the window
        record.actuator[0].reportRequest = 1;
        ActuatorSession session(record);
        run(session, record, c.events);
        const Expected& x = c.expected;
        EXPECT_EQ(flagged(record, &ActuatorEntry::reportRequest), x.report) << c.name;
        EXPECT_EQ(flagged(record, &ActuatorEntry::releaseRequest), x.release) << c.name;
        EXPECT_EQ(flagged(record, &ActuatorEntry::onRequest), x.on) << c.name;
        EXPECT_EQ(flagged(record, &ActuatorEntry::offRequest), x.off) << c.name;
        EXPECT_EQ(flagged(record, &ActuatorEntry::setRequest), x.set) << c.name;
        EXPECT_EQ(record.ecuResetRequest, x.reset) << c.name;
        EXPECT_EQ(record.ecuInitRequest, x.init) << c.name;
        EXPECT_EQ(session.selected(), x.selected) << c.name;
        EXPECT_EQ(record.actuatorWindowOpen, 1) << c.name;
    }
}

// The program's end releases what may be forced; it must reach the control
// unit (connecting if need be) only for an output the thread has driven.
TEST(ActuatorSession, ExitReleasesWhatIsUnderTestOrDriven) {
    struct ExitCase {
        const char* name;
        Flag pending;  // one request left on entry 5, or none
        bool driven;
        bool releasePending, mustReach;
    };
    const ExitCase cases[] = {
        {"nothing", nullptr, false, false, false},
        {"only reported", &ActuatorEntry::reportRequest, false, true, false},
        {"on not yet sent", &ActuatorEntry::onRequest, false, true, false},
        {"switched on", nullptr, true, true, true},
        {"switched and reported", &ActuatorEntry::reportRequest, true, true, true},
    };
    for (const ExitCase& c : cases) {
        std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
        LiveRecord& record = *ownedRecord;
        if (c.pending) (record.actuator[5].*c.pending) = 1;
        record.actuator[5].driven = c.driven ? 1 : 0;
        EXPECT_EQ(ActuatorSession::requestExitRelease(record), c.releasePending) << c.name;
        EXPECT_EQ(flagged(record, &ActuatorEntry::releaseRequest),
                  c.releasePending ? std::vector<int>{5} : std::vector<int>{})
            << c.name;
        EXPECT_EQ(ActuatorSession::drivenOutputAwaitsRelease(record), c.mustReach) << c.name;
    }
}

}  // namespace
}  // namespace m797
