#pragma once
// Shared by the settings tests: a temporary settings folder behind
// XDG_CONFIG_HOME, a reporter that records messages, and file helpers.

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "settings/store/settings_file.h"

namespace m797::testing {

struct RecordingReporter : SettingsReporter {
    std::vector<std::string> messages;
    void showMessage(const std::string& utf8) override { messages.push_back(utf8); }
};

// A fresh folder set as XDG_CONFIG_HOME for the life of the object.
class TemporaryConfig {
public:
    TemporaryConfig() {
        char pattern[] = "/tmp/m797-settings-XXXXXX";
        folder_ = ::mkdtemp(pattern);
        ::setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    }
    ~TemporaryConfig() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::string& folder() const { return folder_; }
    std::string file() const { return folder_ + "/m797diag/user.reg"; }

private:
    std::string folder_;
};

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    std::ofstream(path, std::ios::binary) << bytes;
}

// "dword:%08x" lines of a section, in the REGEDIT4 text written here.
inline std::string section(const std::string& key, const std::vector<std::pair<std::string, int>>& values) {
    std::string s = "[HKEY_CURRENT_USER" + key + "]\n";
    char buf[64];
    for (const auto& [name, v] : values) {
        std::snprintf(buf, sizeof buf, "\"%s\"=dword:%08x\n", name.c_str(), static_cast<unsigned>(v));
        s += buf;
    }
    return s + "\n";
}

}  // namespace m797::testing
