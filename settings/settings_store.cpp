#include "settings/settings_store.h"

namespace m797 {
namespace {

constexpr const char* kHive = "HKEY_CURRENT_USER";

std::string withName(const char* format, const std::string& name) {
    std::string s = format;
    s.replace(s.find("%s"), 2, name);
    return s;
}

// A key path of non-empty names separated by single backslashes.
bool wellFormed(const std::string& relative) {
    if (relative.empty()) return true;
    if (relative.front() == '\\' || relative.back() == '\\') return false;
    return relative.find("\\\\") == std::string::npos;
}

}  // namespace

SettingsStore::SettingsStore(SettingsFile& file) : file_(file) {}

std::string SettingsStore::resolve(const std::string& path) const {
    const bool absolute = !path.empty() && path.front() == '\\';
    const std::string relative = absolute ? path.substr(1) : path;
    if (!wellFormed(relative)) return {};
    const std::string base = absolute || currentKey_.empty() ? std::string(kHive) : currentKey_;
    return relative.empty() ? base : base + '\\' + relative;
}

bool SettingsStore::OpenStoreKey(const std::string& path, bool canCreate) {
    const std::string full = resolve(path);
    CloseStoreKey();
    if (full.empty()) return false;
    if (!file_.current().keyExists(full)) {
        if (!canCreate) return false;
        // A key that cannot reach the disk still opens for this run; the
        // writes into it then report their failure.
        file_.commit(SettingsChange{full, {}, 0});
    }
    currentKey_ = full;
    return true;
}

std::int32_t SettingsStore::ReadStoreInteger(const std::string& name) {
    const RegDocument doc = file_.current();
    const RegValue* v = currentKey_.empty() ? nullptr : doc.findValue(currentKey_, name);
    const auto data = v ? classifyRegData(v->data) : std::nullopt;
    if (!data) throw SettingsStoreError(withName("Failed to get data for '%s'", name));
    if (!data->isDword) {
        // The registry is asked with a 4-byte buffer: longer data does not fit.
        if (data->size > 4) throw SettingsStoreError(withName("Failed to get data for '%s'", name));
        throw SettingsStoreError(withName("Invalid data type for '%s'", name));
    }
    return static_cast<std::int32_t>(data->dword);
}

void SettingsStore::WriteStoreInteger(const std::string& name, std::int32_t value) {
    const bool stored = !currentKey_.empty() && !name.empty() &&
                        file_.commit(SettingsChange{currentKey_, name, static_cast<std::uint32_t>(value)});
    if (!stored && !writeFailureShown_) {
        writeFailureShown_ = true;
        file_.reporter().showMessage(withName("Failed to set data for '%s'", name));
    }
}

void SettingsStore::CloseStoreKey() { currentKey_.clear(); }

}  // namespace m797
