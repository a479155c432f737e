#include "settings/port_choice.h"

#include <algorithm>

#include "settings/reg_document.h"

namespace m797 {

const char* const kPortChoiceKey = "HKEY_CURRENT_USER\\TORVAL\\MANAGEMENT\\COM_PORT";
const char* const kPortChoiceValueName = "Port";

namespace {

bool hasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

}  // namespace

PortChoice readPortChoice(SettingsFile& file) {
    const RegDocument doc = file.current();
    const RegValue* value = doc.findValue(kPortChoiceKey, kPortChoiceValueName);
    if (!value) return {};
    const auto text = regString(value->data);
    if (!text || hasControlCharacter(*text)) return {};
    return {*text};
}

bool storePortChoice(SettingsFile& file, const PortChoice& choice) {
    if (hasControlCharacter(choice.device)) return false;
    return file.commit(SettingsChange{kPortChoiceKey, kPortChoiceValueName, 0, choice.device});
}

}  // namespace m797
