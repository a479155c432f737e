#pragma once
// record.lock as a type: code that must run with the lock held takes a
// RecordLock (to read the record) or a RecordWriteLock (to change it) as a
// parameter, so calling it without the lock does not compile. The guard is
// the only way to the record it gives, for as long as it lives; it cannot be
// copied or moved, so it never outlives the scope that took the lock.
//
// Keep what is done under it short: copy there, work outside (never a serial
// exchange, a disk write or a paint of more than the copied values).

#include <mutex>

#include "app/record/live_record.h"

namespace m797 {

// Holds record.lock from construction to destruction; reads the record.
class RecordLock {
public:
    explicit RecordLock(const LiveRecord& record) : record_(record), held_(record.lock) {}
    RecordLock(const RecordLock&) = delete;
    RecordLock& operator=(const RecordLock&) = delete;

    const LiveRecord& record() const { return record_; }

private:
    const LiveRecord& record_;
    std::unique_lock<std::mutex> held_;
};

// The same, for the code that fills the record (the decoder, the acquisition
// thread). Passes as a RecordLock where only reading is asked for.
class RecordWriteLock : public RecordLock {
public:
    explicit RecordWriteLock(LiveRecord& record) : RecordLock(record), writable_(record) {}

    LiveRecord& record() const { return writable_; }

private:
    LiveRecord& writable_;
};

}  // namespace m797
