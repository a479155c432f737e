#pragma once
// The per-user settings file, $XDG_CONFIG_HOME/m797diag/user.reg
// (~/.config/m797diag/user.reg without the variable), and what one running
// program remembers about it.
//
// Every commit is a locked read-modify-write: an advisory lock on
// "user.reg.lock" beside the file, a fresh read, the changes, a temporary file
// written and flushed to disk, and a rename over the old file. So the changes
// are on disk when `commit` returns, a program killed mid-save leaves the old
// file or the new one, and two running programs never lose each other's
// changes. One commit may carry many changes (all the values one settings
// operation writes): they then cost one flush and one rename.
//
// A file that cannot be read or parsed is never written: the user is told
// once, naming the file, and from then on this run keeps its settings in
// memory only, starting as if no key existed. A change that cannot reach the
// disk (a folder that cannot be written) is kept in memory for this run so
// the program stays coherent, and `commit` reports the failure.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/store/reg_document.h"

namespace m797 {

// Messages toward the user, UTF-8, for a message box with an OK button.
class SettingsReporter {
public:
    virtual ~SettingsReporter() = default;
    virtual void showMessage(const std::string& utf8) = 0;
};

// One change: create a key, or set a 32-bit value or a text (creating its key).
struct SettingsChange {
    std::string key;        // full path, "HKEY_CURRENT_USER\TORVAL\DIAGRAM\F1"
    std::string valueName;  // empty: only create the key
    std::uint32_t value = 0;
    std::optional<std::string> text;  // set: a string value instead of `value`
};

// Makes the change in `doc`.
void applyChange(RegDocument& doc, const SettingsChange& change);

class SettingsFile {
public:
    SettingsFile(std::string path, SettingsReporter& reporter);

    // $XDG_CONFIG_HOME/m797diag/user.reg, or ~/.config/m797diag/user.reg.
    static std::string defaultPath();

    const std::string& path() const { return path_; }
    SettingsReporter& reporter() { return reporter_; }

    // The settings as this run sees them: the file (empty when there is none)
    // plus the changes that could not be written.
    RegDocument current();
    // Applies the changes in order with one write of the file; true when
    // they are on disk (or, once the file proved unreadable, in this run's
    // memory as the user was told). Nothing to change writes nothing.
    bool commit(const std::vector<SettingsChange>& changes);
    bool commit(const SettingsChange& change) { return commit(std::vector<SettingsChange>{change}); }

    // Whether this run has given up on the file (it could not be parsed).
    bool memoryOnly() const { return memoryOnly_; }

    // Test seam: called at the points of a save where a crash must not hurt
    // (so BeforeRename also counts the writes of the file).
    enum class SaveStage { TemporaryHalfWritten, BeforeRename };
    std::function<void(SaveStage)> saveStageHook;

private:
    enum class ReadResult { Read, Missing, Unusable };
    ReadResult readDisk(RegDocument& doc);
    void giveUpOnFile();
    bool writeAtomically(const std::string& contents);
    bool writeLocked(const std::vector<SettingsChange>& changes);

    std::string path_;
    SettingsReporter& reporter_;
    bool memoryOnly_ = false;
    RegDocument memory_;   // this run's settings once the file is given up
    RegDocument unsaved_;  // changes that could not reach the disk
};

}  // namespace m797
