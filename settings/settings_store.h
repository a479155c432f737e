#pragma once
// SettingsStore: registry-style access to the settings file for one
// operation. Its root is HKEY_CURRENT_USER; it holds at most one open key
// (opening another closes the previous one). Opening without the can-create
// flag finds an existing key only; with it, missing keys on the path are
// created. A missing key is never an error.
//
// ReadStoreInteger throws SettingsStoreError ("Failed to get data for '%s'",
// "Invalid data type for '%s'"); the operation that catches it shows the
// message and stops there. A refused write shows "Failed to set data for
// '%s'" once per store and the operation goes on.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "settings/settings_file.h"

namespace m797 {

class SettingsStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SettingsStore {
public:
    explicit SettingsStore(SettingsFile& file);

    // `path` is absolute below the hive when it starts with '\', otherwise
    // relative to the open key. True when the key is now open.
    bool OpenStoreKey(const std::string& path, bool canCreate);
    std::int32_t ReadStoreInteger(const std::string& name);
    void WriteStoreInteger(const std::string& name, std::int32_t value);
    void CloseStoreKey();

    const std::string& currentKey() const { return currentKey_; }

private:
    std::string resolve(const std::string& path) const;

    SettingsFile& file_;
    std::string currentKey_;   // full path; empty when no key is open
    bool writeFailureShown_ = false;
};

// Runs one settings operation; a store error it throws is shown through the
// file's reporter and ends the operation. Returns false when it was stopped.
template <typename F>
bool runSettingsOperation(SettingsFile& file, F&& operation) {
    try {
        operation();
        return true;
    } catch (const SettingsStoreError& e) {
        file.reporter().showMessage(e.what());
        return false;
    }
}

}  // namespace m797
