#pragma once
// What one CSV row shows, copied out of the record while record.lock is held,
// so that the row is made and written after the lock is released. Plain
// data, a few hundred bytes: the value texts as the decoder made them and
// the raw numbers behind the other columns.

#include <array>
#include <cstdint>

#include "app/record/record_lock.h"

namespace m797 {

// When a row's values arrived: since the session's start, and on the wall clock.
struct RowTime {
    std::int64_t sinceStartUs = 0;
    std::int64_t wallUs = 0;
};

struct CsvRowValues {
    std::array<Text, kAnalogSlots> analogText;
    std::array<std::uint8_t, kFlagSlots> flagState{};
    std::array<std::int32_t, kCounterSlots> count{};
    std::array<std::uint8_t, 4> statusByte{};
    std::array<std::uint8_t, 2> extraByte{};
    std::uint8_t errorCount = 0;

    static CsvRowValues of(const RecordLock& held);
};

}  // namespace m797
