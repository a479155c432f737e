#pragma once
// Line settings through termios2 (TCGETS2/TCSETS2 with BOTHER), so that any
// rate can be asked for: 10400 baud for the dialogue, 360 baud for the
// wake-up byte. Kept apart from <termios.h>, which cannot share a file with
// <asm/termbits.h>.

namespace m797 {

// A device's settings as found, kept to be put back when the program lets
// the device go (termios2, opaque here).
struct SavedLineSettings {
    alignas(8) unsigned char bytes[64] = {};
    bool valid = false;
};
SavedLineSettings saveLineSettings(int fd);
void restoreLineSettings(int fd, const SavedLineSettings& saved);

// Raw 8N1 at `baud`: no echo, no canonical input, no output processing, no
// flow control, reads return at once (VMIN 0, VTIME 0). Returns false when the
// driver refuses the settings.
bool configureRawLine(int fd, unsigned baud);

// Changes only the rate. Returns false when the driver refuses it or reports
// another rate back.
bool setLineSpeed(int fd, unsigned baud);

// The input rate the line is set to, or 0 when it cannot be read. On a
// pseudo-terminal master this is the rate the slave side set.
unsigned readLineSpeed(int fd);

}  // namespace m797
