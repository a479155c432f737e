#include "app/shell/serial_ports.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <utility>

namespace m797 {
namespace {

namespace fs = std::filesystem;

// Drivers of the common USB K-line and serial adapters.
constexpr std::array<std::pair<const char*, const char*>, 8> kAdapterKinds{{
    {"ftdi_sio", "FTDI"},
    {"ch341", "CH340"},
    {"pl2303", "PL2303"},
    {"cp210x", "CP210x"},
    {"cdc_acm", "USB modem (CDC ACM)"},
    {"serial8250", "built-in UART"},
    {"serial", "built-in UART"},  // found by plug and play
    {"rfcomm", "Bluetooth"},
}};

// Bluetooth serial links are virtual ttys: sysfs has no device behind them.
constexpr std::string_view kBluetoothPrefix = "rfcomm";
constexpr const char* kBluetoothDriver = "rfcomm";

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string linkName(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

// Where a link points: /dev/ttyUSB0 for udev's "../../ttyUSB0".
fs::path linkTarget(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    if (ec) return {};
    return (target.is_absolute() ? target : link.parent_path() / target).lexically_normal();
}

// The USB device a tty hangs from: the nearest folder above it that has idVendor.
fs::path usbDeviceOf(const fs::path& device) {
    fs::path p = device;
    for (int up = 0; up < 4 && p.has_relative_path(); ++up, p = p.parent_path()) {
        std::error_code ec;
        if (fs::exists(p / "idVendor", ec)) return p;
    }
    return {};
}

void readUsbFacts(const fs::path& device, SerialPortInfo& port) {
    const fs::path usb = usbDeviceOf(device);
    if (usb.empty()) return;
    port.vendorId = firstLine(usb / "idVendor");
    port.productId = firstLine(usb / "idProduct");
    port.manufacturer = firstLine(usb / "manufacturer");
    port.product = firstLine(usb / "product");
    port.serial = firstLine(usb / "serial");
}

// The 8250 driver keeps ports for hardware that may not be there; their
// UART type reads 0 ("unknown").
bool isPhantomUart(const fs::path& classEntry) {
    std::error_code ec;
    return fs::exists(classEntry / "type", ec) && firstLine(classEntry / "type") == "0";
}

// The driver that owns the hardware. Since Linux 6.5 a built-in UART's tty
// hangs from the serial core's own "port" and "ctrl" devices: look past them.
std::string driverOf(const fs::path& device) {
    fs::path p = device;
    for (int up = 0; up < 3 && p.has_relative_path(); ++up, p = p.parent_path()) {
        std::string driver = linkName(p / "driver");
        if (!driver.empty() && driver != "port" && driver != "ctrl") return driver;
    }
    return {};
}

std::vector<std::string> byIdNamesOf(const DeviceRoots& roots, const std::string& device) {
    std::vector<std::string> names;
    std::error_code ec;
    const fs::path wanted = fs::path(device).lexically_normal();
    for (const auto& entry : fs::directory_iterator(fs::path(roots.dev) / "serial" / "by-id", ec))
        if (linkTarget(entry.path()) == wanted) names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A tty that sysfs knows, or nothing for a virtual one that is no serial port.
std::optional<SerialPortInfo> portOfClassEntry(const DeviceRoots& roots, const fs::path& classEntry) {
    const std::string name = classEntry.filename().string();
    SerialPortInfo port;
    port.device = (fs::path(roots.dev) / name).string();
    if (std::string_view(name).starts_with(kBluetoothPrefix)) {
        port.driver = kBluetoothDriver;
        return port;
    }
    std::error_code linkError;
    const fs::path device = fs::canonical(classEntry / "device", linkError);
    if (linkError) return std::nullopt;  // virtual: consoles, pseudo-terminals
    if (isPhantomUart(classEntry)) return std::nullopt;
    port.driver = driverOf(device);
    readUsbFacts(device, port);
    return port;
}

// Devices that udev names below /dev/serial/by-id but sysfs does not show
// (a container, a sysfs mounted elsewhere): listed by name alone.
void addByIdOnlyDevices(const DeviceRoots& roots, std::vector<SerialPortInfo>& ports) {
    std::set<std::string> listed;
    for (const SerialPortInfo& p : ports) listed.insert(fs::path(p.device).filename().string());
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(roots.dev) / "serial" / "by-id", ec)) {
        const fs::path target = linkTarget(entry.path());
        if (target.empty() || !listed.insert(target.filename().string()).second) continue;
        SerialPortInfo port;
        port.device = target.string();
        ports.push_back(std::move(port));
    }
}

}  // namespace

std::vector<SerialPortInfo> listSerialPorts(const DeviceRoots& roots) {
    std::vector<SerialPortInfo> ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(roots.sys) / "class" / "tty", ec))
        if (auto port = portOfClassEntry(roots, entry.path())) ports.push_back(std::move(*port));
    addByIdOnlyDevices(roots, ports);
    for (SerialPortInfo& port : ports) port.byIdNames = byIdNamesOf(roots, port.device);
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.device < b.device; });
    return ports;
}

bool isPluggedAdapter(const SerialPortInfo& port) {
    return !port.vendorId.empty() || !port.byIdNames.empty() || port.driver == kBluetoothDriver;
}

const std::string& stablePortName(const SerialPortInfo& port) {
    return port.byIdNames.empty() ? port.device : port.byIdNames.front();
}

std::string adapterKind(const std::string& driver) {
    for (const auto& [name, kind] : kAdapterKinds)
        if (driver == name) return kind;
    return {};
}

std::string serialPortListText(const std::vector<SerialPortInfo>& ports) {
    if (ports.empty()) return "no serial devices found\n";
    std::string text;
    for (const SerialPortInfo& p : ports) {
        text += p.device;
        const std::string kind = adapterKind(p.driver);
        if (!kind.empty()) text += "  " + kind;
        if (!p.driver.empty()) text += " (driver " + p.driver + ")";
        if (!p.vendorId.empty()) text += ", USB " + p.vendorId + ":" + p.productId;
        for (const std::string* s : {&p.manufacturer, &p.product, &p.serial})
            if (!s->empty()) text += " " + *s;
        text += '\n';
        for (const std::string& byId : p.byIdNames) text += "    " + byId + '\n';
    }
    return text;
}

}  // namespace m797
