// Decoding one poll cycle (both answers into the record, texts included) and
// formatting one CSV row. Budget: a cycle well under 20 microseconds.
#include <benchmark/benchmark.h>

#include <array>
#include <memory>
#include <mutex>
#include <random>

#include "app/record/live_record.h"
#include "app/shell/csv_log.h"
#include "ecu/live_data_decoder.h"

namespace {

struct Answers {
    std::array<std::uint8_t, m797::kLive01BufferSize> live01{};
    std::array<std::uint8_t, m797::kLive03BufferSize> live03{};
    explicit Answers(unsigned seed) {
        std::mt19937 random(seed);
        for (auto& b : live01) b = static_cast<std::uint8_t>(random());
        for (auto& b : live03) b = static_cast<std::uint8_t>(random());
    }
};

void DecodeOneCycle(benchmark::State& state) {
    const auto record = std::make_unique<m797::LiveRecord>();
    m797::LiveDataDecoder decoder(',');
    const Answers answers[2] = {Answers(1), Answers(2)};  // alternate so texts change
    int i = 0;
    for (auto _ : state) {
        const Answers& a = answers[i++ & 1];
        decoder.decode(a.live01.data(), a.live03.data(), m797::RecordWriteLock(*record));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(DecodeOneCycle);

void FormatCsvRow(benchmark::State& state) {
    const auto record = std::make_unique<m797::LiveRecord>();
    m797::LiveDataDecoder decoder('.');
    const Answers a(3);
    const m797::RecordWriteLock held(*record);
    decoder.decode(a.live01.data(), a.live03.data(), held);
    double t = 0;
    for (auto _ : state) {
        std::string row = m797::CsvLog::formatRow(held, t += 0.1);
        benchmark::DoNotOptimize(row);
    }
}
BENCHMARK(FormatCsvRow);

}  // namespace

BENCHMARK_MAIN();
