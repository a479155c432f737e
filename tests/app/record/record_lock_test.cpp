#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <type_traits>

#include "app/record/record_lock.h"

namespace m797 {
namespace {

// What makes "the caller holds record.lock" a rule the compiler checks: a
// record never turns into a guard by itself, and a guard cannot be copied out
// of the scope that took the lock.
static_assert(!std::is_convertible_v<const LiveRecord&, RecordLock>);
static_assert(!std::is_convertible_v<LiveRecord&, RecordWriteLock>);
static_assert(!std::is_copy_constructible_v<RecordLock> && !std::is_move_constructible_v<RecordLock>);
static_assert(!std::is_copy_constructible_v<RecordWriteLock> && !std::is_move_constructible_v<RecordWriteLock>);
// Reading needs only a const record; writing needs one that may change.
static_assert(!std::is_constructible_v<RecordWriteLock, const LiveRecord&>);
static_assert(std::is_same_v<decltype(std::declval<const RecordLock&>().record()), const LiveRecord&>);
static_assert(std::is_same_v<decltype(std::declval<const RecordWriteLock&>().record()), LiveRecord&>);
static_assert(std::is_convertible_v<const RecordWriteLock&, const RecordLock&>);

// Another thread's try_lock on record.lock: false while a guard holds it.
bool lockIsFreeForAnotherThread(const LiveRecord& record) {
    return std::async(std::launch::async,
                      [&record] {
                          const bool got = record.lock.try_lock();
                          if (got) record.lock.unlock();
                          return got;
                      })
        .get();
}

template <typename Guard, typename Record>
void expectHeldForItsLifetime(Record& record) {
    ASSERT_TRUE(lockIsFreeForAnotherThread(record));
    {
        const Guard held(record);
        EXPECT_EQ(&held.record(), &record);
        EXPECT_FALSE(lockIsFreeForAnotherThread(record));
    }
    EXPECT_TRUE(lockIsFreeForAnotherThread(record));
}

TEST(RecordLock, HoldsTheRecordsMutexForItsLifetimeAndGivesThatRecord) {
    auto record = std::make_unique<LiveRecord>();
    const LiveRecord& readOnly = *record;
    expectHeldForItsLifetime<RecordLock>(readOnly);
    expectHeldForItsLifetime<RecordWriteLock>(*record);
}

TEST(RecordLock, AWriteLockChangesTheRecordItHolds) {
    auto record = std::make_unique<LiveRecord>();
    {
        const RecordWriteLock held(*record);
        held.record().statusText = "x";
        const RecordLock& reader = held;
        EXPECT_EQ(reader.record().statusText, "x");
    }
    EXPECT_EQ(record->statusText, "x");
}

}  // namespace
}  // namespace m797
