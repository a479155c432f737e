#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "app/shell/failure_once.h"
#include "app/shell/port_selection.h"
#include "tests/support/fake_device_tree.h"

namespace m797 {
namespace {

std::string testName() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }

TEST(PortSelection, CommandLineThenStoredThenTheOnlyAdapterThenTheFirstBuiltInPort) {
    FakeDeviceTree one(testName() + "-one");
    one.uart("ttyS0", "4");
    one.usbAdapter("ttyUSB3", "ch341", "1a86", "7523", "USB Serial", "usb-1a86_USB_Serial-if00-port0");
    FakeDeviceTree two(testName() + "-two");
    two.usbAdapter("ttyUSB0", "ftdi_sio", "0403", "6001", "FT232R", "usb-FTDI-if00-port0");
    two.bluetooth("rfcomm0");
    FakeDeviceTree builtIn(testName() + "-builtin");
    builtIn.uart("ttyS0", "4");
    const std::string oneStable = one.dev("serial/by-id/usb-1a86_USB_Serial-if00-port0");

    struct Case {
        const char* what;
        std::string commandLine;
        bool simulate;
        std::string stored;
        const FakeDeviceTree* present;
        std::string device;
        PortSource source;
    };
    const Case cases[] = {
        {"--port wins over everything", "/dev/ttyUSB7", false, "/dev/ttyACM0", &one, "/dev/ttyUSB7",
         PortSource::CommandLine},
        {"--simulate", "", true, "/dev/ttyACM0", &one, kSimulatorPortName, PortSource::CommandLine},
        {"stored choice, even when not plugged in", "", false, "/dev/ttyACM0", &one, "/dev/ttyACM0",
         PortSource::Stored},
        {"stored simulator", "", false, "SIM", &two, kSimulatorPortName, PortSource::Stored},
        {"stored Wi-Fi adapter", "", false, "tcp:192.168.0.10:35000", &one, "tcp:192.168.0.10:35000",
         PortSource::Stored},
        {"one adapter, by its stable name", "", false, "", &one, oneStable, PortSource::OnlyAdapter},
        {"stored text that is no port is not used", "", false, "../../etc/passwd", &one, oneStable,
         PortSource::OnlyAdapter},
        {"two adapters: no guess", "", false, "", &two, kDefaultPort, PortSource::Default},
        {"built-in ports only", "", false, "", &builtIn, kDefaultPort, PortSource::Default},
    };
    for (const Case& c : cases) {
        const PortInUse port = choosePort(c.commandLine, c.simulate, c.stored,
                                          listSerialPorts(c.present->roots()));
        EXPECT_EQ(port.device, c.device) << c.what;
        EXPECT_EQ(port.source, c.source) << c.what;
    }
}

TEST(PortSelection, TheStoredAdapterGoesWithTheStoredPort) {
    const PortInUse stored{"/dev/rfcomm0", PortSource::Stored};
    const PortInUse named{"/dev/ttyUSB0", PortSource::CommandLine};
    const PortInUse only{"/dev/ttyUSB0", PortSource::OnlyAdapter};
    const PortInUse wifi{"tcp:192.168.0.10:35000", PortSource::Stored};
    struct Row {
        bool adapterGiven;
        AdapterKind given;
        PortInUse port;
        const char* storedAdapter;
        AdapterKind expected;
    };
    const Row rows[] = {
        {false, AdapterKind::KLine, stored, "elm327", AdapterKind::Elm327},
        {false, AdapterKind::KLine, stored, "", AdapterKind::KLine},
        {false, AdapterKind::KLine, stored, "bogus", AdapterKind::KLine},
        {true, AdapterKind::KLine, stored, "elm327", AdapterKind::KLine},  // --adapter kline wins
        {false, AdapterKind::KLine, named, "elm327", AdapterKind::KLine},  // another port: not its adapter
        {false, AdapterKind::KLine, only, "elm327", AdapterKind::KLine},
        {false, AdapterKind::Elm327, named, "kline", AdapterKind::Elm327},  // a tcp: port
        {false, AdapterKind::KLine, wifi, "kline", AdapterKind::Elm327},    // Wi-Fi is always an ELM327
        {true, AdapterKind::KLine, wifi, "", AdapterKind::Elm327},
    };
    for (const Row& r : rows)
        EXPECT_EQ(adapterForRun(r.adapterGiven, r.given, r.port, r.storedAdapter), r.expected) << r.storedAdapter;
}

// At "Старт": a new pick, a new adapter kind or an adapter plugged in since
// the start moves the run to it; what the order gives already stays.
TEST(PortSelection, StartMovesToThePortTheOrderGivesNow) {
    FakeDeviceTree none(testName() + "-none");
    none.uart("ttyS0", "4");
    FakeDeviceTree one(testName() + "-one");
    one.uart("ttyS0", "4");
    one.usbAdapter("ttyUSB0", "ftdi_sio", "0403", "6001", "FT232R", "usb-FTDI-if00-port0");
    const std::string ftdi = one.dev("serial/by-id/usb-FTDI-if00-port0");
    const RunPort builtIn{{kDefaultPort, PortSource::Default}, AdapterKind::KLine};
    const RunPort onFtdi{{ftdi, PortSource::OnlyAdapter}, AdapterKind::KLine};
    struct Row {
        const char* what;
        RunPort inUse;
        std::string storedDevice, storedAdapter;
        const FakeDeviceTree* present;
        std::optional<std::string> device;  // none: stays
        AdapterKind adapter;
    };
    const Row rows[] = {
        {"nothing changed", builtIn, "", "", &none, std::nullopt, AdapterKind::KLine},
        {"an adapter plugged in since", builtIn, "", "", &one, ftdi, AdapterKind::KLine},
        {"the same adapter", onFtdi, "", "", &one, std::nullopt, AdapterKind::KLine},
        {"the only adapter pulled out: waited for", onFtdi, "", "", &none, std::nullopt, AdapterKind::KLine},
        {"a pick on the page", onFtdi, "/dev/rfcomm0", "", &one, "/dev/rfcomm0", AdapterKind::KLine},
        {"the simulator picked", onFtdi, "SIM", "", &one, "SIM", AdapterKind::KLine},
        {"only the kind changed",
         {{"/dev/ttyUSB0", PortSource::Stored}, AdapterKind::KLine},
         "/dev/ttyUSB0",
         "elm327",
         &one,
         "/dev/ttyUSB0",
         AdapterKind::Elm327},
        {"a Wi-Fi adapter picked", builtIn, "tcp:192.168.0.10:35000", "", &none, "tcp:192.168.0.10:35000",
         AdapterKind::Elm327},
    };
    for (const Row& r : rows) {
        const std::optional<RunPort> next = runPortAtStart(r.inUse, false, AdapterKind::KLine, r.storedDevice,
                                                           r.storedAdapter, listSerialPorts(r.present->roots()));
        ASSERT_EQ(next.has_value(), r.device.has_value()) << r.what;
        if (!next) continue;
        EXPECT_EQ(next->port.device, *r.device) << r.what;
        EXPECT_EQ(next->adapter, r.adapter) << r.what;
    }
}

TEST(PortSelection, StoresOnlyTextsThatNameAPort) {
    const std::pair<std::string, bool> cases[] = {
        {"/dev/ttyUSB0", true},
        {"/dev/serial/by-id/usb-FTDI-if00-port0", true},
        {"SIM", true},
        {"", false},
        {"/dev/", false},
        {"ttyUSB0", false},
        {"/dev/../etc/shadow", false},
        {"/dev/serial/..", false},
        {std::string("/dev/tty\0S0", 11), false},
        {"/dev/" + std::string(5000, 'a'), false},
        {"tcp:192.168.0.10:35000", true},
        {"tcp:[fe80::1]:35000", true},
        {"tcp:192.168.0.10", false},
        {"tcp::35000", false},
        {"tcp:192.168.0.10:70000", false},
        {"tcp:host\n:35000", false},
    };
    for (const auto& [text, storable] : cases) EXPECT_EQ(isStorablePort(text), storable) << text;
}

TEST(PortSelection, ShortNamesForTheStatusStrip) {
    FakeDeviceTree tree(testName());
    tree.usbAdapter("ttyUSB1", "ch341", "1a86", "7523", "USB Serial", "usb-1a86-if00-port0");
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/ttyUSB0", "USB0"},
        {"/dev/ttyACM0", "ACM0"},
        {"/dev/rfcomm0", "BT0"},
        {"SIM", "SIM"},
        {"/dev/ttyS0", "Com1"},
        {"/dev/ttyS3", "Com4"},
        {"/dev/ttySAC0", "tty…"},
        {"/dev/pts/4", "4"},
        {"/tmp/nothing", "not…"},
        {"/dev/ttyUSB10", "USB10"},
        {"/dev/ttyUSB100", "USB…"},
        {"/tmp/порт-адаптера", "пор…"},
        {tree.dev("serial/by-id/usb-1a86-if00-port0"), "USB1"},  // as the kernel points it now
        {"/dev/serial/by-id/usb-gone-if00-port0", "USB"},        // unplugged
        {"tcp:192.168.0.10:35000", "WiFi"},                      // an ELM327 on the network
    };
    for (const auto& [device, shortName] : cases) EXPECT_EQ(shortPortName(device), shortName) << device;
}

TEST(PortSelection, EveryOpenFailureIsExplained) {
    FakeDeviceTree tree(testName());
    tree.usbAdapter("ttyUSB1", "ch341", "1a86", "7523", "USB Serial", "usb-1a86-if00-port0");
    const std::vector<SerialPortInfo> present = listSerialPorts(tree.roots());
    struct Case {
        int error;
        std::string holder;
        std::vector<std::string> parts;
    };
    const Case cases[] = {
        {EACCES,
         "",
         {"Нет доступа к порту /dev/ttyUSB0", "sudo usermod -aG dialout ivan\n", "войдите в систему заново"}},
        {EPERM, "", {"sudo usermod -aG dialout ivan"}},
        {EBUSY, "process 4321 (minicom)", {"занят", "программа minicom (процесс 4321)", "«Старт»"}},
        {EBUSY, "", {"занят", "другая программа"}},
        {ENOENT,
         "",
         {"/dev/ttyUSB0 не найден", "USB1  " + tree.dev("serial/by-id/usb-1a86-if00-port0") + "  USB Serial",
          "«Настройка» → «Com Port»"}},
        {ENXIO, "", {"не найден"}},
        {ENODEV, "", {"не найден"}},
        {ENOTTY, "", {"не последовательный порт", "«Com Port»"}},
        {EIO, "", {"не открывается", "«Com Port»"}},
        {EPROTO, "", {"не адаптер ELM327", "«K-Line»"}},
        {ETIMEDOUT, "", {"ELM327", "не отвечает", "разъём диагностики"}},
    };
    for (const Case& c : cases) {
        const std::string text = portFailureMessage({"/dev/ttyUSB0", c.error, c.holder, "ivan"}, present);
        for (const std::string& part : c.parts)
            EXPECT_NE(text.find(part), std::string::npos) << part << "\nin:\n" << text;
    }
    EXPECT_NE(portFailureMessage({"/dev/ttyUSB0", ENOENT, "", "ivan"}, {}).find("не найдено: подключите адаптер"),
              std::string::npos);
    // A Wi-Fi adapter out of reach is a network to join, not a device or a baud rate.
    for (const int error : {ECONNREFUSED, EHOSTUNREACH, ETIMEDOUT}) {
        const std::string text = portFailureMessage({"tcp:192.168.0.10:35000", error, "", "ivan"}, present);
        EXPECT_NE(text.find("по Wi-Fi (192.168.0.10:35000) недоступен"), std::string::npos) << text;
        EXPECT_NE(text.find("к сети Wi-Fi адаптера"), std::string::npos) << text;
        EXPECT_EQ(text.find("--baud"), std::string::npos) << text;
    }
    EXPECT_NE(
        portFailureMessage({"tcp:192.168.0.10:35000", EPROTO, "", "ivan"}, present).find("не адаптер ELM327"),
        std::string::npos);
}

TEST(PortSelection, AFailureIsToldOnceNotOnEveryRetry) {
    struct Step {
        int error;  // 0: the port opened
        bool told;
    };
    const Step steps[] = {{EACCES, true}, {EACCES, false}, {EACCES, false}, {EBUSY, true}, {EBUSY, false},
                          {0, false},     {EBUSY, true},   {ENOENT, true},  {EACCES, true}};
    FailureOnce once;
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        if (steps[i].error == 0) {
            once.succeeded();
            continue;
        }
        EXPECT_EQ(once.failed(steps[i].error), steps[i].told) << "step " << i;
    }
}

}  // namespace
}  // namespace m797
