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
//
// A store made for a settings operation (Writes::AtEnd) reads the file once
// and holds its writes back, seeing them in its own reads, until
// CommitPendingWrites puts them all on disk with one write: a first start
// or a colour save is then one flush and one rename, not one per value.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/store/settings_file.h"

namespace m797 {

class SettingsStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SettingsStore {
public:
    enum class Writes { Immediately, AtEnd };
    explicit SettingsStore(SettingsFile& file, Writes writes = Writes::Immediately);

    // `path` is absolute below the hive when it starts with '\', otherwise
    // relative to the open key. True when the key is now open.
    bool OpenStoreKey(const std::string& path, bool canCreate);
    std::int32_t ReadStoreInteger(const std::string& name);
    void WriteStoreInteger(const std::string& name, std::int32_t value);
    void CloseStoreKey();
    // Writes held back so far, with one write of the file; a refusal names
    // the first value among them.
    void CommitPendingWrites();

    const std::string& currentKey() const { return currentKey_; }
    SettingsReporter& reporter() { return file_.reporter(); }

private:
    std::string resolve(const std::string& path) const;
    const RegDocument& view();
    bool change(const SettingsChange& c);
    void reportWriteFailure(const std::string& name);

    SettingsFile& file_;
    const bool atEnd_;
    std::optional<RegDocument> view_;      // AtEnd: the file as read once, with the pending writes
    std::vector<SettingsChange> pending_;  // AtEnd: writes not yet committed
    std::string currentKey_;               // full path; empty when no key is open
    bool writeFailureShown_ = false;
};

// Runs one settings operation on a store made for it; a store error it
// throws ends the operation. What it wrote before the end is then committed
// with one write, and the error is shown through the file's reporter.
// Returns false when the operation was stopped.
template <typename F>
bool runSettingsOperation(SettingsStore& store, F&& operation) {
    std::optional<std::string> stopped;
    try {
        operation();
    } catch (const SettingsStoreError& e) {
        stopped = e.what();
    }
    store.CommitPendingWrites();
    if (stopped) store.reporter().showMessage(*stopped);
    return !stopped;
}

}  // namespace m797
