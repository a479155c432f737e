#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/shell/serial_ports.h"

namespace m797 {
namespace {

namespace fs = std::filesystem;

// A made-up /dev and /sys laid out as the kernel and udev lay them out.
class FakeDeviceTree {
public:
    FakeDeviceTree() : root_(fs::temp_directory_path() / ("m797-ports-" + std::to_string(::getpid()) + "-" +
                                                          ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        fs::remove_all(root_);
        fs::create_directories(root_ / "dev" / "serial" / "by-id");
        fs::create_directories(root_ / "sys" / "class" / "tty");
        fs::create_directories(root_ / "sys" / "bus" / "usb-serial" / "drivers");
    }
    ~FakeDeviceTree() { fs::remove_all(root_); }

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

private:
    static void write(const fs::path& file, const std::string& text) { std::ofstream(file) << text << "\n"; }

    void driverLink(const fs::path& device, const std::string& driver) {
        const fs::path d = root_ / "sys/bus/usb-serial/drivers" / driver;
        fs::create_directories(d);
        fs::create_symlink(d, device / "driver");
    }

    fs::path classEntry(const std::string& tty, const fs::path& device) {
        const fs::path entry = root_ / "sys/class/tty" / tty;
        fs::create_directories(entry);
        fs::create_symlink(device, entry / "device");
        std::ofstream(root_ / "dev" / tty);
        return entry;
    }

    fs::path root_;
};

TEST(SerialPorts, ListsAdaptersWithWhatTheSystemKnows) {
    FakeDeviceTree tree;
    tree.usbAdapter("ttyUSB1", "ch341", "1a86", "7523", "USB Serial", "usb-1a86_USB_Serial-if00-port0");
    tree.usbAdapter("ttyUSB0", "ftdi_sio", "0403", "6001", "FT232R USB UART",
                    "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    tree.usbAdapter("ttyUSB2", "pl2303", "067b", "2303", "USB-Serial Controller", "");
    tree.uart("ttyS0", "4");
    tree.uart("ttyS1", "0");  // reserved by the kernel, nothing behind it
    tree.virtualTty("tty0");
    tree.virtualTty("ptmx");

    const std::vector<SerialPortInfo> ports = listSerialPorts(tree.roots());
    const std::string dev = tree.roots().dev;
    ASSERT_EQ(ports.size(), 4u);
    struct Expected {
        const char* tty;
        const char* driver;
        const char* vendor;
        const char* product;
        std::size_t byIdNames;
    };
    const Expected expected[] = {{"ttyS0", "serial8250", "", "", 0},
                                 {"ttyUSB0", "ftdi_sio", "0403", "6001", 1},
                                 {"ttyUSB1", "ch341", "1a86", "7523", 1},
                                 {"ttyUSB2", "pl2303", "067b", "2303", 0}};
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const Expected& e = expected[i];
        EXPECT_EQ(ports[i].device, dev + "/" + e.tty);
        EXPECT_EQ(ports[i].driver, e.driver) << e.tty;
        EXPECT_EQ(ports[i].vendorId, e.vendor) << e.tty;
        EXPECT_EQ(ports[i].productId, e.product) << e.tty;
        EXPECT_EQ(ports[i].byIdNames.size(), e.byIdNames) << e.tty;
    }
    EXPECT_EQ(ports[1].byIdNames[0], dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    EXPECT_EQ(ports[1].product, "FT232R USB UART");
}

TEST(SerialPorts, TextNamesTheChipFamilyAndTheStableName) {
    FakeDeviceTree tree;
    tree.usbAdapter("ttyUSB0", "ftdi_sio", "0403", "6001", "FT232R USB UART", "usb-FTDI_FT232R-if00-port0");
    tree.usbAdapter("ttyUSB1", "ch341", "1a86", "7523", "USB Serial", "");
    tree.usbAdapter("ttyUSB2", "pl2303", "067b", "2303", "USB-Serial Controller", "");
    const std::string text = serialPortListText(listSerialPorts(tree.roots()));
    const std::string dev = tree.roots().dev;
    for (const std::string& part :
         {dev + "/ttyUSB0  FTDI (driver ftdi_sio), USB 0403:6001 FT232R USB UART\n",
          "    " + dev + "/serial/by-id/usb-FTDI_FT232R-if00-port0\n",
          dev + "/ttyUSB1  CH340 (driver ch341), USB 1a86:7523", dev + "/ttyUSB2  PL2303 (driver pl2303)"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\nin:\n" << text;
}

TEST(SerialPorts, SaysSoWhenThereAreNone) {
    FakeDeviceTree tree;
    tree.virtualTty("tty0");
    EXPECT_TRUE(listSerialPorts(tree.roots()).empty());
    EXPECT_EQ(serialPortListText({}), "no serial devices found\n");
    EXPECT_TRUE(listSerialPorts({"/nonexistent/dev", "/nonexistent/sys"}).empty());
}

TEST(SerialPorts, KnowsTheUsualAdapterDrivers) {
    const std::pair<const char*, const char*> kinds[] = {
        {"ftdi_sio", "FTDI"}, {"ch341", "CH340"}, {"pl2303", "PL2303"}, {"cp210x", "CP210x"}, {"unknown_drv", ""}};
    for (const auto& [driver, kind] : kinds) EXPECT_EQ(adapterKind(driver), kind) << driver;
}

}  // namespace
}  // namespace m797
