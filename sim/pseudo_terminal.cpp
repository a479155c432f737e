#include "sim/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>

#include <cerrno>
#include <cstring>

#include "ecu/line_speed.h"

namespace m797::sim {
namespace {

bool failed(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
}

}  // namespace

bool openPseudoTerminal(int& master, int& slave, std::string& path, unsigned baud, std::string* error) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return failed(error, "posix_openpt");
    char name[128] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0)
        return failed(error, "pseudo-terminal");
    path = name;
    slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) return failed(error, std::string("open ") + name);
    configureRawLine(slave, baud);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    return true;
}

}  // namespace m797::sim
