// What the durable settings writes cost: every operation is one locked
// read-modify-write flushed to disk, so a first start (61 values) and an exit
// (16 values) each pay one fsync and one rename. Runs in a folder below the
// current directory, so it measures the disk it is started on.
#include <benchmark/benchmark.h>
#include <memory>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "settings/store/settings_operations.h"
#include "settings/store/settings_store.h"

namespace {

struct Quiet : m797::SettingsReporter {
    void showMessage(const std::string&) override {}
};

std::string freshFolder() {
    const auto folder = std::filesystem::current_path() / "bench-settings";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return (folder / "user.reg").string();
}

void FirstStart(benchmark::State& state) {
    Quiet quiet;
    const std::string path = freshFolder();
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(path);
        m797::SettingsFile file(path, quiet);
        std::unique_ptr<m797::LiveRecord> ownedRecord = std::make_unique<m797::LiveRecord>();
        m797::LiveRecord& record = *ownedRecord;
        state.ResumeTiming();
        m797::LoadSettingsAtStart(record, file);
    }
}
BENCHMARK(FirstStart)->Unit(benchmark::kMillisecond);

void ColourSaveOnExit(benchmark::State& state) {
    Quiet quiet;
    m797::SettingsFile file(freshFolder(), quiet);
    std::unique_ptr<m797::LiveRecord> ownedRecord = std::make_unique<m797::LiveRecord>();
    m797::LiveRecord& record = *ownedRecord;
    m797::LoadSettingsAtStart(record, file);
    for (auto _ : state) m797::SaveColourScheme(record, file);
}
BENCHMARK(ColourSaveOnExit)->Unit(benchmark::kMillisecond);

void ParameterSetButton(benchmark::State& state) {
    Quiet quiet;
    m797::SettingsFile file(freshFolder(), quiet);
    std::unique_ptr<m797::LiveRecord> ownedRecord = std::make_unique<m797::LiveRecord>();
    m797::LiveRecord& record = *ownedRecord;
    m797::LoadSettingsAtStart(record, file);
    for (auto _ : state) m797::LoadParameterSet(record, file, 7);
}
BENCHMARK(ParameterSetButton)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
