#include "settings/store/port_choice.h"

#include <algorithm>

#include "settings/store/reg_document.h"

namespace m797 {

const char* const kPortChoiceKey = "HKEY_CURRENT_USER\\TORVAL\\MANAGEMENT\\COM_PORT";
const char* const kPortChoiceValueName = "Port";
const char* const kAdapterChoiceValueName = "Adapter";

namespace {

bool hasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// The two kinds a stored "Adapter" may name; anything else is no choice.
bool isAdapterName(const std::string& text) { return text == "kline" || text == "elm327"; }

std::string storedAdapter(const RegDocument& doc) {
    const RegValue* value = doc.findValue(kPortChoiceKey, kAdapterChoiceValueName);
    const auto text = value ? regString(value->data) : std::nullopt;
    return text && isAdapterName(*text) ? *text : std::string();
}

}  // namespace

PortChoice readPortChoice(SettingsFile& file) {
    const RegDocument doc = file.current();
    PortChoice choice{{}, storedAdapter(doc)};
    const RegValue* value = doc.findValue(kPortChoiceKey, kPortChoiceValueName);
    if (!value) return choice;
    const auto text = regString(value->data);
    if (text && !hasControlCharacter(*text)) choice.device = *text;
    return choice;
}

bool storePortChoice(SettingsFile& file, const PortChoice& choice) {
    if (hasControlCharacter(choice.device)) return false;
    if (!choice.adapter.empty() && !isAdapterName(choice.adapter)) return false;
    std::vector<SettingsChange> changes{SettingsChange{kPortChoiceKey, kPortChoiceValueName, 0, choice.device}};
    if (!choice.adapter.empty())
        changes.push_back(SettingsChange{kPortChoiceKey, kAdapterChoiceValueName, 0, choice.adapter});
    return file.commit(changes);
}

}  // namespace m797
