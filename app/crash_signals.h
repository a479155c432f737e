#pragma once
// A crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS, SIGTRAP) cannot
// end the program the orderly way. Its handler makes a last attempt: it
// writes the release of every output still switched to the port
// (ecu/crash_release.h), with async-signal-safe calls only, and then lets
// the signal take its default course (core dump, status 128 + signal).
// Best effort: no answer is awaited.

namespace m797 {

// Installs the handlers (and an alternate stack for the calling thread, so
// a stack overflow there still reaches them). Once per process.
void installCrashRelease();

}  // namespace m797
