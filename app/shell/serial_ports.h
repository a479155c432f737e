#pragma once
// The serial devices of this machine with what the system knows of them, for
// --list-ports and for the failure message when the chosen port does not
// work: the stable /dev/serial/by-id names, the USB vendor and product, and
// the kernel driver (which tells an FTDI adapter from a CH340 or a PL2303).

#include <string>
#include <vector>

namespace m797 {

struct SerialPortInfo {
    std::string device;                         // /dev/ttyUSB0
    std::vector<std::string> byIdNames;         // full paths below /dev/serial/by-id
    std::string driver;                         // kernel driver: ftdi_sio, ch341, pl2303, cdc_acm, serial8250...
    std::string vendorId, productId;            // USB ids, four hex digits each; empty when not on USB
    std::string manufacturer, product, serial;  // USB strings, as the device gives them
};

// Where /dev and /sys are: tests point them at a made-up tree.
struct DeviceRoots {
    std::string dev = "/dev";
    std::string sys = "/sys";
};

// Every tty backed by a device (not the virtual consoles and pseudo-terminals,
// nor the legacy 8250 ports the kernel reserves without hardware behind them),
// the Bluetooth serial links (rfcomm) and whatever /dev/serial/by-id names
// even when sysfs says nothing of it, sorted by device name.
std::vector<SerialPortInfo> listSerialPorts(const DeviceRoots& roots = {});

// A USB or Bluetooth adapter, as opposed to a port built into the machine.
bool isPluggedAdapter(const SerialPortInfo& port);
// The name that stays the same when the adapter is plugged in again: its
// first /dev/serial/by-id name, or the device where it has none.
const std::string& stablePortName(const SerialPortInfo& port);

// The chip family behind a driver, or an empty text for one not known here.
std::string adapterKind(const std::string& driver);

// One entry a line with its by-id names below it; a line saying that there
// are none when the list is empty. Every line ends in a line end.
std::string serialPortListText(const std::vector<SerialPortInfo>& ports);

}  // namespace m797
