#pragma once
// The main window's side of the settings file: the file itself, created at
// first use from $XDG_CONFIG_HOME, and the standard error box that shows the
// store's messages. Tests may point it at another file or reporter before
// first use.

#include <memory>
#include <string>

#include "settings/store/settings_file.h"

class WindowSettings : public m797::SettingsReporter {
public:
    m797::SettingsFile& file();
    // Before first use: another file than the per-user one, another reporter
    // than the message box (nullptr restores the box).
    void usePath(std::string path) { path_ = std::move(path); }
    void useReporter(m797::SettingsReporter* reporter) { reporter_ = reporter; }

    // A QMessageBox with an OK button, or the reporter set for tests.
    void showMessage(const std::string& utf8) override;

private:
    std::string path_;
    m797::SettingsReporter* reporter_ = nullptr;
    std::unique_ptr<m797::SettingsFile> file_;
};
