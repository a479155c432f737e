#include "settings/store/settings_store.h"

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

SettingsStore::SettingsStore(SettingsFile& file, Writes writes) : file_(file), atEnd_(writes == Writes::AtEnd) {}

const RegDocument& SettingsStore::view() {
    if (!atEnd_ || !view_) view_ = file_.current();
    return *view_;
}

// True unless an immediate write was refused.
bool SettingsStore::change(const SettingsChange& c) {
    if (!atEnd_) return file_.commit(c);
    view();
    applyChange(*view_, c);
    pending_.push_back(c);
    return true;
}

void SettingsStore::reportWriteFailure(const std::string& name) {
    if (writeFailureShown_) return;
    writeFailureShown_ = true;
    file_.reporter().showMessage(withName("Failed to set data for '%s'", name));
}

void SettingsStore::CommitPendingWrites() {
    std::vector<SettingsChange> changes;
    changes.swap(pending_);
    if (file_.commit(changes)) return;
    for (const SettingsChange& c : changes) {
        if (c.valueName.empty()) continue;  // a key alone says nothing: its values report
        reportWriteFailure(c.valueName);
        return;
    }
}

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
    if (!view().keyExists(full)) {
        if (!canCreate) return false;
        // A key that cannot reach the disk still opens for this run; the
        // writes into it then report their failure.
        change(SettingsChange{full, {}, 0, {}});
    }
    currentKey_ = full;
    return true;
}

std::int32_t SettingsStore::ReadStoreInteger(const std::string& name) {
    const RegValue* v = currentKey_.empty() ? nullptr : view().findValue(currentKey_, name);
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
                        change(SettingsChange{currentKey_, name, static_cast<std::uint32_t>(value), {}});
    if (!stored) reportWriteFailure(name);
}

void SettingsStore::CloseStoreKey() { currentKey_.clear(); }

}  // namespace m797
