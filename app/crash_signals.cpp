#include "app/crash_signals.h"

#include <csignal>
#include <cstdlib>

#include "ecu/crash_release.h"

namespace m797 {
namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS, SIGTRAP};

extern "C" void onCrash(int signalNumber) {
    writeCrashReleases();
    // SA_RESETHAND has put the default back; SA_NODEFER lets it act at once.
    raise(signalNumber);
}

void useAlternateStack() {
    static char stack[64 * 1024];
    stack_t alternate{};
    alternate.ss_sp = stack;
    alternate.ss_size = sizeof stack;
    sigaltstack(&alternate, nullptr);
}

}  // namespace

void installCrashRelease() {
    useAlternateStack();
    struct sigaction action {};
    action.sa_handler = onCrash;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER | SA_ONSTACK;
    for (int s : kCrashSignals) sigaction(s, &action, nullptr);
}

}  // namespace m797
