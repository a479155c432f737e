#include "ecu/port_holder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace m797 {
namespace {

std::string commandName(const std::string& procRoot, pid_t pid) {
    std::ifstream in(procRoot + "/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

std::string describe(const std::string& procRoot, pid_t pid) {
    const std::string name = commandName(procRoot, pid);
    return "process " + std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
}

// A /proc/locks line: "1: FLOCK  ADVISORY  WRITE 1234 00:05:123 0 EOF".
pid_t lockHolder(const std::string& procRoot, const struct stat& device, pid_t self) {
    std::ifstream in(procRoot + "/locks");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        if (!(fields >> number >> kind)) continue;
        if (kind == "->") fields >> kind;  // a waiter
        if (!(fields >> mode >> access >> pid >> where)) continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
        if (inode == device.st_ino && makedev(major, minor) == device.st_dev && pid != self && pid > 0)
            return static_cast<pid_t>(pid);
    }
    return 0;
}

// Any process with a descriptor on the same device node.
pid_t openedBy(const std::string& procRoot, const struct stat& device, pid_t self) {
    DIR* proc = opendir(procRoot.c_str());
    if (!proc) return 0;
    pid_t found = 0;
    while (dirent* e = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == self) continue;
        const std::string fdDir = procRoot + "/" + e->d_name + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (!fds) continue;
        while (dirent* f = readdir(fds)) {
            struct stat st {};
            if (f->d_name[0] == '.' || stat((fdDir + "/" + f->d_name).c_str(), &st) != 0) continue;
            if (S_ISCHR(st.st_mode) && st.st_rdev == device.st_rdev) {
                found = static_cast<pid_t>(pid);
                break;
            }
        }
        closedir(fds);
        if (found) break;
    }
    closedir(proc);
    return found;
}

}  // namespace

std::string describePortHolder(const std::string& device, pid_t self, const std::string& procRoot) {
    struct stat st {};
    if (stat(device.c_str(), &st) != 0) return {};
    pid_t pid = lockHolder(procRoot, st, self);
    if (pid == 0 && S_ISCHR(st.st_mode)) pid = openedBy(procRoot, st, self);
    return pid == 0 ? std::string() : describe(procRoot, pid);
}

std::string describePortHolder(const std::string& device, pid_t self) {
    return describePortHolder(device, self, "/proc");
}

}  // namespace m797
