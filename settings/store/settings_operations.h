#pragma once
// The settings operations of the windows, each on a store created for it:
// the start-up load, the colour save on exit, the parameter-set buttons of
// the main window, and the set reads and writes of the settings dialog. Each
// reads the file once and writes it at most once (a first start's twelve
// sets and marker, a colour save's sixteen values: one flush, one rename).

#include <cstdint>
#include <string>

#include "app/record/live_record.h"
#include "settings/store/settings_file.h"

namespace m797 {

// "\TORVAL\DIAGRAM\F1" ... "\TORVAL\DIAGRAM\F12" for n = 1..12.
std::string parameterSetKey(int n);
extern const char* const kParameterSetMarkerKey;  // "\TORVAL\DIAGRAM\F"
extern const char* const kColourSchemeKey;        // "\TORVAL\MANAGEMENT\COLOUR_CIRCUIT"
// "diagram_1" ... "diagram_5" for chart 1..5.
std::string parameterSetValueName(int chart);

// First run: creates F1..F12 with 1..5 and the marker. Then the colours (or
// the start-up defaults) and set F1 into selectedParameters.
void LoadSettingsAtStart(LiveRecord& record, SettingsFile& file);
// Writes the sixteen colour percentages, creating the key if needed.
void SaveColourScheme(const LiveRecord& record, SettingsFile& file);
// Set n (1..12) into selectedParameters; a missing set changes nothing.
void LoadParameterSet(LiveRecord& record, SettingsFile& file, int n);

// The stored rows of set n for the dialog's five lists.
struct ParameterSetRows {
    bool opened = false;  // the set's key exists
    int count = 0;        // rows read before the end or an error
    std::int32_t rows[5] = {};
};
ParameterSetRows readParameterSetRows(SettingsFile& file, int n);
// Stores `row` as value `list` (1..5) of set n, creating the key if needed.
void storeParameterSetRow(SettingsFile& file, int n, int list, std::int32_t row);

}  // namespace m797
