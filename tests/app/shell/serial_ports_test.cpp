#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/shell/serial_ports.h"
#include "tests/support/fake_device_tree.h"

namespace m797 {
namespace {

namespace fs = std::filesystem;

TEST(SerialPorts, ListsAdaptersWithWhatTheSystemKnows) {
    FakeDeviceTree tree(::testing::UnitTest::GetInstance()->current_test_info()->name());
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
    FakeDeviceTree tree(::testing::UnitTest::GetInstance()->current_test_info()->name());
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

TEST(SerialPorts, ListsBluetoothLinksAndDevicesKnownOnlyByTheirStableName) {
    FakeDeviceTree tree(::testing::UnitTest::GetInstance()->current_test_info()->name());
    tree.bluetooth("rfcomm0");
    tree.byIdOnly("ttyACM0", "usb-Arduino_Uno-if00");
    tree.usbAdapter("ttyUSB0", "ftdi_sio", "0403", "6001", "FT232R USB UART", "usb-FTDI_FT232R-if00-port0");
    tree.uart("ttyS0", "4");
    tree.virtualTty("pts0");
    // A link made by hand to a pseudo-terminal, by its absolute path.
    fs::create_directories(tree.dev("pts"));
    std::ofstream(tree.dev("pts/3"));
    fs::create_symlink(tree.dev("pts/3"), tree.dev("serial/by-id/usb-made-by-hand"));

    const std::vector<SerialPortInfo> ports = listSerialPorts(tree.roots());
    struct Expected {
        const char* device;
        const char* driver;
        bool plugged;
        const char* stable;
    };
    const Expected expected[] = {
        {"pts/3", "", true, "serial/by-id/usb-made-by-hand"},
        {"rfcomm0", "rfcomm", true, "rfcomm0"},
        {"ttyACM0", "", true, "serial/by-id/usb-Arduino_Uno-if00"},
        {"ttyS0", "serial8250", false, "ttyS0"},
        {"ttyUSB0", "ftdi_sio", true, "serial/by-id/usb-FTDI_FT232R-if00-port0"},
    };
    ASSERT_EQ(ports.size(), std::size(expected));
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(ports[i].device, tree.dev(expected[i].device));
        EXPECT_EQ(ports[i].driver, expected[i].driver) << expected[i].device;
        EXPECT_EQ(isPluggedAdapter(ports[i]), expected[i].plugged) << expected[i].device;
        EXPECT_EQ(stablePortName(ports[i]), tree.dev(expected[i].stable));
    }
    EXPECT_EQ(adapterKind("rfcomm"), "Bluetooth");
}

TEST(SerialPorts, SaysSoWhenThereAreNone) {
    FakeDeviceTree tree(::testing::UnitTest::GetInstance()->current_test_info()->name());
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
