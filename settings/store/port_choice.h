#pragma once
// The port chosen on the settings window's "Com Port" page, kept per user
// beside the other settings in HKEY_CURRENT_USER\TORVAL\MANAGEMENT\COM_PORT:
// the device as a string value "Port" (the stable /dev/serial/by-id name
// where the device has one, or "SIM" for the simulator) and the kind of
// adapter on it as a string value "Adapter" ("kline" or "elm327"). Settings brought
// over from Windows have no such value, or one that names no device here;
// either reads as no choice.

#include <string>

#include "settings/store/settings_file.h"

namespace m797 {

struct PortChoice {
    std::string device;        // empty: nothing chosen
    std::string adapter = {};  // "kline" or "elm327"; empty: nothing chosen (the plain adapter)
    bool operator==(const PortChoice&) const = default;
};

extern const char* const kPortChoiceKey;           // "HKEY_CURRENT_USER\TORVAL\MANAGEMENT\COM_PORT"
extern const char* const kPortChoiceValueName;     // "Port"
extern const char* const kAdapterChoiceValueName;  // "Adapter"

// What is stored, or no choice for a missing, mistyped or unsafe value
// (a text with a line end or other control character).
PortChoice readPortChoice(SettingsFile& file);
// Stores the choice with one write (the adapter only when one is chosen);
// false when it did not reach the disk.
bool storePortChoice(SettingsFile& file, const PortChoice& choice);

}  // namespace m797
