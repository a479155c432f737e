// What listing the serial devices costs when the "Com Port" page opens and
// on each refresh while it is open: twenty devices in a made-up /dev and
// /sys (sixteen USB adapters, two Bluetooth links, two built-in UARTs),
// side by side with the floor of an empty tree. The page must list them in
// well under 50 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/shell/serial_ports.h"
#include "settings/settings_dialog.h"
#include "settings/store/settings_file.h"
#include "tests/support/fake_device_tree.h"

namespace {

struct Quiet : m797::SettingsReporter {
    void showMessage(const std::string&) override {}
};

m797::FakeDeviceTree& twentyDevices() {
    static m797::FakeDeviceTree tree("bench-twenty");
    static const bool filled = [](m797::FakeDeviceTree& t) {
        for (int n = 0; n < 16; ++n) {
            const std::string tty = "ttyUSB" + std::to_string(n);
            t.usbAdapter(tty, n % 2 ? "ch341" : "ftdi_sio", "0403", "6001", "FT232R USB UART",
                         "usb-FTDI_FT232R_" + std::to_string(n) + "-if00-port0");
        }
        t.bluetooth("rfcomm0");
        t.bluetooth("rfcomm1");
        t.uart("ttyS0", "4");
        t.uart("ttyS1", "4");
        return true;
    }(tree);
    (void)filled;
    return tree;
}

m797::FakeDeviceTree& emptyTree() {
    static m797::FakeDeviceTree tree("bench-empty");
    return tree;
}

void ListTwentyDevices(benchmark::State& state) {
    const m797::DeviceRoots roots = twentyDevices().roots();
    for (auto _ : state) benchmark::DoNotOptimize(m797::listSerialPorts(roots));
}
BENCHMARK(ListTwentyDevices)->Unit(benchmark::kMillisecond);

void ListEmptyTree(benchmark::State& state) {
    const m797::DeviceRoots roots = emptyTree().roots();
    for (auto _ : state) benchmark::DoNotOptimize(m797::listSerialPorts(roots));
}
BENCHMARK(ListEmptyTree)->Unit(benchmark::kMillisecond);

// The page as it opens: list, build the rows, mark the one in use.
void PageWithTwentyDevices(benchmark::State& state) {
    Quiet quiet;
    m797::SettingsFile file((std::filesystem::temp_directory_path() / "m797-bench-ports.reg").string(), quiet);
    auto record = std::make_unique<m797::LiveRecord>();
    QWidget owner;
    TForm3 page(
        *record, [](int) {}, owner, file);
    page.setPortInUse(twentyDevices().dev("serial/by-id/usb-FTDI_FT232R_7-if00-port0"));
    const m797::DeviceRoots roots = twentyDevices().roots();
    for (auto _ : state) page.setDeviceRoots(roots);
    state.counters["rows"] = page.portList() ? 21 : 0;
}
BENCHMARK(PageWithTwentyDevices)->Unit(benchmark::kMillisecond);

// Mean milliseconds of `rounds` calls of `f`.
template <typename F>
double meanMs(int rounds, F&& f) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / rounds;
}

// The page's figure against the floor (the same page over an empty tree)
// and the 50 ms it must stay under, in one line.
void printSummary() {
    Quiet quiet;
    m797::SettingsFile file((std::filesystem::temp_directory_path() / "m797-bench-ports.reg").string(), quiet);
    auto record = std::make_unique<m797::LiveRecord>();
    QWidget owner;
    TForm3 page(
        *record, [](int) {}, owner, file);
    const m797::DeviceRoots twenty = twentyDevices().roots(), empty = emptyTree().roots();
    const double full = meanMs(200, [&] { page.setDeviceRoots(twenty); });
    const double floor = meanMs(200, [&] { page.setDeviceRoots(empty); });
    std::printf(
        "Com Port page, 20 devices: %.2f ms; empty tree (floor) %.2f ms; ratio %.1f; "
        "%.0f%% of the 50 ms allowed\n",
        full, floor, full / floor, 100.0 * full / 50.0);
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printSummary();
    return 0;
}
