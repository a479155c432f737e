#pragma once
// The last attempt when the program crashes with an output forced: the
// release frame of every output the acquisition thread has switched or set,
// kept ready from the moment it went out, and the port it goes to. A crash
// handler writes them with nothing but async-signal-safe calls; it cannot
// wait for an answer, so this is best effort (the session may have lapsed,
// a frame may cross one the thread was writing).

#include <cstdint>

namespace m797 {

// The open port's descriptor, or -1 once it is about to close. Only one port
// is kept: the one opened last.
void setCrashReleasePort(int fd);
// Forgets the port if `fd` is the one kept (before it is closed, so the
// number is never written to after the system hands it out again).
void forgetCrashReleasePort(int fd);

// Keeps the release frame of actuator entry 0..14 ready (at most 8 bytes).
void armCrashRelease(int entry, const std::uint8_t* frame, int length);
// The control unit has confirmed the release.
void disarmCrashRelease(int entry);
bool crashReleaseArmed(int entry);

// Async-signal-safe: writes every armed release to the kept port, 60 ms
// apart, so the control unit takes each as a request of its own. Returns the
// number of frames written whole.
int writeCrashReleases();

}  // namespace m797
