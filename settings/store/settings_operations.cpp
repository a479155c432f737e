#include "settings/store/settings_operations.h"

#include <array>

#include "settings/store/colour_scheme.h"
#include "settings/store/settings_store.h"

namespace m797 {

const char* const kParameterSetMarkerKey = "\\TORVAL\\DIAGRAM\\F";
const char* const kColourSchemeKey = "\\TORVAL\\MANAGEMENT\\COLOUR_CIRCUIT";

std::string parameterSetKey(int n) { return std::string(kParameterSetMarkerKey) + std::to_string(n); }

std::string parameterSetValueName(int chart) { return "diagram_" + std::to_string(chart); }

namespace {

void createDefaultSets(SettingsStore& store) {
    for (int n = 1; n <= 12; ++n) {
        if (!store.OpenStoreKey(parameterSetKey(n), true)) continue;
        for (int chart = 1; chart <= 5; ++chart) store.WriteStoreInteger(parameterSetValueName(chart), chart);
    }
    if (store.OpenStoreKey(kParameterSetMarkerKey, true)) store.WriteStoreInteger("diagram_ok", 1);
}

// All sixteen are read before any colour changes; a failed read leaves the
// record's colours as they were.
void loadColours(SettingsStore& store, LiveRecord& record) {
    if (!store.OpenStoreKey(kColourSchemeKey, false)) {
        setColours(record, kStartupColours);
        return;
    }
    std::array<std::int32_t, 16> stored{};
    for (std::size_t i = 0; i < stored.size(); ++i) stored[i] = store.ReadStoreInteger(kColourValueNames[i]);
    const auto colours = colourArrays(record);
    for (std::size_t i = 0; i < stored.size(); ++i) colours[i / 4][i % 4] = colourFromStored(stored[i]);
}

// Stored rows count from 0, parameter numbers from 1. Any stored integer is
// accepted (the charts draw nothing for a number outside 1..79); the largest
// one wraps instead of overflowing.
std::int32_t parameterNumberOfRow(std::int32_t row) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(row) + 1u);
}

// Entry N of selectedParameters is set as each value is read, so a failed
// read keeps the entries before it.
void loadSet(SettingsStore& store, LiveRecord& record, int n) {
    if (!store.OpenStoreKey(parameterSetKey(n), false)) return;
    for (int chart = 1; chart <= 5; ++chart)
        record.selectedParameters[chart - 1] = parameterNumberOfRow(
            store.ReadStoreInteger(parameterSetValueName(chart)));
}

}  // namespace

// selectedParameters and the colours are only touched by the window thread
// (the paints and these operations), so no lock is taken here.
void LoadSettingsAtStart(LiveRecord& record, SettingsFile& file) {
    SettingsStore store(file, SettingsStore::Writes::AtEnd);
    runSettingsOperation(store, [&] {
        if (!store.OpenStoreKey(kParameterSetMarkerKey, false)) createDefaultSets(store);
        loadColours(store, record);
        loadSet(store, record, 1);
    });
}

void SaveColourScheme(const LiveRecord& record, SettingsFile& file) {
    SettingsStore store(file, SettingsStore::Writes::AtEnd);
    runSettingsOperation(store, [&] {
        if (!store.OpenStoreKey(kColourSchemeKey, true)) return;
        const auto colours = colourArrays(record);
        for (std::size_t i = 0; i < kColourValueNames.size(); ++i)
            store.WriteStoreInteger(kColourValueNames[i], storedFromColour(colours[i / 4][i % 4]));
    });
}

void LoadParameterSet(LiveRecord& record, SettingsFile& file, int n) {
    SettingsStore store(file, SettingsStore::Writes::AtEnd);
    runSettingsOperation(store, [&] { loadSet(store, record, n); });
}

ParameterSetRows readParameterSetRows(SettingsFile& file, int n) {
    ParameterSetRows result;
    SettingsStore store(file, SettingsStore::Writes::AtEnd);
    runSettingsOperation(store, [&] {
        if (!store.OpenStoreKey(parameterSetKey(n), false)) return;
        result.opened = true;
        for (int list = 1; list <= 5; ++list) {
            result.rows[list - 1] = store.ReadStoreInteger(parameterSetValueName(list));
            result.count = list;
        }
    });
    return result;
}

void storeParameterSetRow(SettingsFile& file, int n, int list, std::int32_t row) {
    SettingsStore store(file, SettingsStore::Writes::AtEnd);
    runSettingsOperation(store, [&] {
        if (store.OpenStoreKey(parameterSetKey(n), true))
            store.WriteStoreInteger(parameterSetValueName(list), row);
    });
}

}  // namespace m797
