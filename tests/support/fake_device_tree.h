#pragma once
// A made-up /dev and /sys for the serial device listing, laid out as the
// kernel and udev lay them out; removed when it goes.

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "app/shell/serial_ports.h"

namespace m797 {

namespace fs = std::filesystem;

// A made-up /dev and /sys laid out as the kernel and udev lay them out.
class FakeDeviceTree {
public:
    // `name` keeps trees of one process apart.
    explicit FakeDeviceTree(const std::string& name)
        : root_(fs::temp_directory_path() / ("m797-ports-" + std::to_string(::getpid()) + "-" + name)) {
        fs::remove_all(root_);
        fs::create_directories(root_ / "dev" / "serial" / "by-id");
        fs::create_directories(root_ / "sys" / "class" / "tty");
        fs::create_directories(root_ / "sys" / "bus" / "usb-serial" / "drivers");
    }
    ~FakeDeviceTree() { fs::remove_all(root_); }
    FakeDeviceTree(const FakeDeviceTree&) = delete;
    FakeDeviceTree& operator=(const FakeDeviceTree&) = delete;

    DeviceRoots roots() const { return {(root_ / "dev").string(), (root_ / "sys").string()}; }

    // A USB adapter: usb device folder with ids and strings, an interface, the tty below it.
    void usbAdapter(const std::string& tty, const std::string& driver, const std::string& vendor,
                    const std::string& product, const std::string& name, const std::string& byId) {
        const fs::path usb = root_ / "sys/devices/pci0000:00/usb1" / ("1-" + tty);
        const fs::path port = usb / (("1-" + tty) + ":1.0") / tty;
        fs::create_directories(port);
        write(usb / "idVendor", vendor);
        write(usb / "idProduct", product);
        write(usb / "product", name);
        driverLink(port, driver);
        classEntry(tty, port);
        if (!byId.empty()) fs::create_symlink("../../" + tty, root_ / "dev/serial/by-id" / byId);
    }

    // A built-in UART; type 0 means the kernel found no hardware there.
    void uart(const std::string& tty, const std::string& type) {
        const fs::path port = root_ / "sys/devices/platform/serial8250" / tty;
        fs::create_directories(port);
        driverLink(port, "serial8250");
        const fs::path entry = classEntry(tty, port);
        write(entry / "type", type);
    }

    void virtualTty(const std::string& tty) { fs::create_directories(root_ / "sys/class/tty" / tty); }

    // A Bluetooth serial link: a virtual tty and its device node.
    void bluetooth(const std::string& tty) {
        virtualTty(tty);
        touch(root_ / "dev" / tty);
    }

    // A device udev names but sysfs does not show.
    void byIdOnly(const std::string& tty, const std::string& byId) {
        touch(root_ / "dev" / tty);
        fs::create_symlink("../../" + tty, root_ / "dev/serial/by-id" / byId);
    }

    // Unplugged: the tty, its sysfs entry and its by-id names go.
    void unplug(const std::string& tty) {
        fs::remove_all(root_ / "sys/class/tty" / tty);
        fs::remove(root_ / "dev" / tty);
        for (const auto& e : fs::directory_iterator(root_ / "dev/serial/by-id"))
            if (fs::read_symlink(e.path()).filename() == tty) fs::remove(e.path());
    }

    std::string dev(const std::string& name) const { return (root_ / "dev" / name).string(); }

private:
    // An empty file in the fake tree (a device node stands in as one).
    static void touch(const fs::path& path) { std::ofstream created(path); }

    static void write(const fs::path& file, const std::string& text) { std::ofstream(file) << text << "\n"; }

    void driverLink(const fs::path& device, const std::string& driver) {
        const fs::path d = root_ / "sys/bus/usb-serial/drivers" / driver;
        fs::create_directories(d);
        fs::create_symlink(d, device / "driver");
    }

    fs::path classEntry(const std::string& tty, const fs::path& device) {
        fs::path entry = root_ / "sys/class/tty" / tty;
        fs::create_directories(entry);
        fs::create_symlink(device, entry / "device");
        touch(root_ / "dev" / tty);
        return entry;
    }

    fs::path root_;
};

}  // namespace m797
