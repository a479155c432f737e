#pragma once
// The serial devices of this machine with what the system knows of them, for
// --list-ports and for the failure message when the chosen port does not
// work: the stable /dev/serial/by-id names, the USB vendor and product, and
// the kernel driver (which tells an FTDI adapter from a CH340 or a PL2303).

#include <string>
#include <vector>

namespace m797 {

struct SerialPortInfo {
    std::string device;                // /dev/ttyUSB0
    std::vector<std::string> byIdNames;  // full paths below /dev/serial/by-id
    std::string driver;                // kernel driver: ftdi_sio, ch341, pl2303, cdc_acm, serial8250...
    std::string vendorId, productId;   // USB ids, four hex digits each; empty when not on USB
    std::string manufacturer, product, serial;  // USB strings, as the device gives them
};

// Where /dev and /sys are: tests point them at a made-up tree.
struct DeviceRoots {
    std::string dev = "/dev";
    std::string sys = "/sys";
};

// Every tty backed by a device (not the virtual consoles and pseudo-terminals,
// nor the legacy 8250 ports the kernel reserves without hardware behind them),
// sorted by device name.
std::vector<SerialPortInfo> listSerialPorts(const DeviceRoots& roots = {});

// The chip family behind a driver, or an empty text for one not known here.
std::string adapterKind(const std::string& driver);

// One entry a line with its by-id names below it; a line saying that there
// are none when the list is empty. Every line ends in a line end.
std::string serialPortListText(const std::vector<SerialPortInfo>& ports);

}  // namespace m797
