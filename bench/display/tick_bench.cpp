// The display tick every 30 ms: ageing 64 x 1025 samples and, with a new
// sample, shifting them. Prints the time per tick and the allocations made.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "app/record/display_clock.h"
#include "app/record/live_record.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t n) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

static void TickWithNewSample(benchmark::State& state) {
    auto record = std::make_unique<m797::LiveRecord>();
    record->linkUp = 1;
    const long before = allocations.load();
    for (auto _ : state) {
        record->newSample = 1;
        benchmark::DoNotOptimize(m797::displayTick(*record, false));
    }
    state.counters["allocations"] = static_cast<double>(allocations.load() - before);
}
BENCHMARK(TickWithNewSample)->Repetitions(5)->ReportAggregatesOnly(true);

static void TickAgeingOnly(benchmark::State& state) {
    auto record = std::make_unique<m797::LiveRecord>();
    record->linkUp = 1;
    const long before = allocations.load();
    for (auto _ : state) benchmark::DoNotOptimize(m797::displayTick(*record, false));
    state.counters["allocations"] = static_cast<double>(allocations.load() - before);
}
BENCHMARK(TickAgeingOnly)->Repetitions(5)->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
