#include "ecu/crash_release.h"

#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <ctime>

#include "app/record/live_record.h"
#include "app/record/write_all.h"

namespace m797 {
namespace {

struct ArmedRelease {
    std::atomic<bool> armed{false};
    std::uint8_t frame[8] = {};
    std::atomic<int> length{0};
};

// Plain lock-free atomics: a signal handler may read them at any moment.
std::atomic<int> crashPort{-1};
ArmedRelease armedReleases[kActuatorEntries];

bool validEntry(int entry) { return entry >= 0 && entry < kActuatorEntries; }

// The whole frame; false when the port refuses.
bool writeWhole(int fd, const std::uint8_t* bytes, int length) {
    const auto size = static_cast<std::size_t>(length);
    return writeAll(fd, bytes, size) == size;
}

void pauseBetweenRequests() {
    timespec gap{0, 60'000'000};
    while (::nanosleep(&gap, &gap) != 0 && errno == EINTR) {
    }
}

}  // namespace

void setCrashReleasePort(int fd) { crashPort.store(fd); }

void forgetCrashReleasePort(int fd) {
    int expected = fd;
    crashPort.compare_exchange_strong(expected, -1);
}

void armCrashRelease(int entry, const std::uint8_t* frame, int length) {
    if (!validEntry(entry) || length <= 0 || length > 8) return;
    ArmedRelease& r = armedReleases[entry];
    r.armed.store(false);
    for (int i = 0; i < length; ++i) r.frame[i] = frame[i];
    r.length.store(length);
    r.armed.store(true);
}

void disarmCrashRelease(int entry) {
    if (validEntry(entry)) armedReleases[entry].armed.store(false);
}

bool crashReleaseArmed(int entry) { return validEntry(entry) && armedReleases[entry].armed.load(); }

int writeCrashReleases() {
    const int saved = errno;
    const int fd = crashPort.load();
    int written = 0;
    for (ArmedRelease& r : armedReleases) {
        if (fd < 0 || !r.armed.load()) continue;
        if (written > 0) pauseBetweenRequests();
        if (writeWhole(fd, r.frame, r.length.load())) ++written;
    }
    errno = saved;
    return written;
}

}  // namespace m797
