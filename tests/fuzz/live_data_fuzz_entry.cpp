#include "live_data_fuzz_entry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>

#include "app/record/record_lock.h"
#include "app/shell/csv_log.h"
#include "ecu/live_data_decoder.h"

namespace m797 {
namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

bool isValueText(const Text& text) {
    if (text.empty() || text.size() > 24) return false;
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || c == '-' || c == ','; });
}

void checkRecord(const LiveRecord& record) {
    for (const AnalogSlot& s : record.analog) {
        require(std::isfinite(s.value) && std::isfinite(s.plot));
        require(isValueText(s.text));
    }
    for (const CounterSlot& s : record.counter) {
        require(s.count >= 0 && s.count <= 65535);
        require(s.plot >= 0.0f && s.plot <= 100.0f);
    }
    for (const FlagSlot& s : record.flag) {
        require(s.state <= 1);
        require(s.plot == (s.state ? 80 : 0));
    }
    for (const StatusByte& b : record.statusByte)
        for (const Text& t : b.bitText) require(t == "0" || t == "1");
    for (const Text& t : record.extraText) require(t.size() == 2);
}

}  // namespace

void fuzzLiveDataAnswer(const std::uint8_t* data, std::size_t size) {
    static const std::unique_ptr<LiveRecord> record = std::make_unique<LiveRecord>();
    static LiveDataDecoder decoder(',');
    std::array<std::uint8_t, kLive01BufferSize> live01{};
    std::array<std::uint8_t, kLive03BufferSize> live03{};
    const std::size_t n01 = std::min(size, live01.size());
    std::copy_n(data, n01, live01.begin());
    std::copy_n(data + n01, std::min(size - n01, live03.size()), live03.begin());

    const RecordWriteLock held(*record);
    decoder.decode(live01.data(), live03.data(), held);
    checkRecord(*record);
    const std::string row = CsvLog::formatRow(held, static_cast<double>(size));
    require(std::count(row.begin(), row.end(), ',') == 71 && row.back() == '\n');
}

}  // namespace m797
