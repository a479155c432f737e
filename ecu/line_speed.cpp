#include "ecu/line_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstring>

namespace m797 {
namespace {

bool readSettings(int fd, termios2& t) { return ioctl(fd, TCGETS2, &t) == 0; }

void putSpeed(termios2& t, unsigned baud) {
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_cflag &= ~(CBAUD << IBSHIFT);
    t.c_cflag |= BOTHER << IBSHIFT;
    t.c_ispeed = baud;
    t.c_ospeed = baud;
}

// The rate the driver actually took, within 2 % (drivers round to their divisors).
bool speedTaken(int fd, unsigned baud) {
    termios2 back{};
    if (!readSettings(fd, back)) return false;
    const unsigned got = back.c_ospeed;
    const unsigned diff = got > baud ? got - baud : baud - got;
    return diff * 50 <= baud;
}

}  // namespace

static_assert(sizeof(termios2) <= sizeof(SavedLineSettings::bytes));

SavedLineSettings saveLineSettings(int fd) {
    SavedLineSettings saved;
    termios2 t{};
    if (!readSettings(fd, t)) return saved;
    std::memcpy(saved.bytes, &t, sizeof t);
    saved.valid = true;
    return saved;
}

void restoreLineSettings(int fd, const SavedLineSettings& saved) {
    if (!saved.valid) return;
    termios2 t{};
    std::memcpy(&t, saved.bytes, sizeof t);
    ioctl(fd, TCSETS2, &t);
}

bool configureRawLine(int fd, unsigned baud) {
    termios2 t{};
    if (!readSettings(fd, t)) return false;
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_iflag |= IGNPAR;
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    putSpeed(t, baud);
    if (ioctl(fd, TCSETS2, &t) != 0) return false;
    return speedTaken(fd, baud);
}

bool setLineSpeed(int fd, unsigned baud) {
    termios2 t{};
    if (!readSettings(fd, t)) return false;
    putSpeed(t, baud);
    if (ioctl(fd, TCSETS2, &t) != 0) return false;
    return speedTaken(fd, baud);
}

unsigned readLineSpeed(int fd) {
    termios2 t{};
    if (!readSettings(fd, t)) return 0;
    return t.c_ispeed != 0 ? t.c_ispeed : t.c_ospeed;
}

}  // namespace m797
