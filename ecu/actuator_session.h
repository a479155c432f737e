#pragma once
// The rules of the actuator window, without any widget: which list entry is
// under test, what "Вкл"/"Выкл" and the set-value steps ask of the acquisition
// thread, what leaving an entry, the two reset confirmations and closing the
// window do, and what the program's end releases. It speaks to the thread
// only through the request flags of the record.
//
// An output is driven only while the technician can see it: closing the
// window withdraws every switch, set-value and reset command the thread has
// not sent yet; the release of the entry under test stays and is sent.

#include <cstdint>
#include <vector>

namespace m797 {

struct LiveRecord;
class RecordWriteLock;

constexpr int kEcuResetEntry = 15;
constexpr int kEcuInitEntry = 16;

class ActuatorSession {
public:
    enum class Confirmation { Reset, Init };

    // The window opens with entry 0 selected ("Управление" has put it under test).
    explicit ActuatorSession(LiveRecord& record);

    // The user picks list entry 0..16. Entries 15 and 16 lead to a
    // confirmation: no entry is under test while it is up, and the selection
    // goes back to entry 0.
    void select(int entry);
    // "Вкл" / "Выкл" and the "+" / "-" steps of entries 12..14.
    void pressUp();
    void pressDown();
    // The window's 100 ms refresh: an entry left and chosen again before the
    // thread served its release goes under test again.
    void refresh();
    // The confirmation closed: "Да" raises its reset; any other way counts as "Нет".
    void confirmationClosed(Confirmation which, bool yes);
    // The window closed, whichever way.
    void close();

    int selected() const { return selected_; }
    // Whether the selected entry is under test, so that its state is read and
    // worth showing (not after a confirmation answered "Нет" until a button
    // forces it again).
    bool selectedUnderTest() const { return selectedUnderTest_; }
    bool isClosed() const { return closed_; }

    // At the program's end: asks for the release of every entry under test
    // (selected, with a command still pending, or switched and not yet
    // released). The windows have closed before, which withdrew their
    // commands. Returns whether a release is now pending.
    static bool requestExitRelease(LiveRecord& record);
    static bool releasePending(const LiveRecord& record);
    // Whether an output that the thread has switched or set still waits for
    // its release: the program's end must reach the control unit for it.
    static bool drivenOutputAwaitsRelease(const LiveRecord& record);
    // The entries (0..14) the thread has switched or set and whose release
    // the control unit has not confirmed: after the end, they may still be
    // forced.
    static std::vector<int> outputsLeftForced(const LiveRecord& record);
    // Withdraws every switch, set-value and reset command not yet sent.
    static void withdrawCommands(LiveRecord& record);

private:
    void putUnderTest(int entry);
    void keepUnderTest(int entry);
    static void forgetStateOf(int entry, const RecordWriteLock& held);
    void stepSetValue(int entry, int step);

    LiveRecord& record_;
    int selected_ = 0;
    // Whether the selected entry is meant to be under test (not after a
    // confirmation answered "Нет" until a button forces it).
    bool selectedUnderTest_ = true;
    bool closed_ = false;
};

}  // namespace m797
