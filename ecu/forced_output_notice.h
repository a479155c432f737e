#pragma once
// The names of the actuator window's list entries, and what the program says
// at its end about outputs whose release the control unit never confirmed.

#include <string>
#include <vector>

namespace m797 {

constexpr int kActuatorListEntries = 17;

// The list text of entry 0..16 (UTF-8), "" outside.
const char* actuatorEntryName(int entry);

// One line per entry: "«Форсунка 1» может остаться включённой — выключите
// зажигание" (UTF-8, each line ending in a newline); "" for none.
std::string forcedOutputNotice(const std::vector<int>& entries);

}  // namespace m797
