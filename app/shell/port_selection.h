#pragma once
// Which port a run uses, how the status strip names it, and what to tell a
// technician when it cannot be opened.
//
// The order: the port named on the command line (for that run); else the
// choice stored on the "Com Port" page; else, when exactly one USB or
// Bluetooth adapter is plugged in, that one by its stable name; else the
// first built-in port.

#include <optional>
#include <string>
#include <vector>

#include "app/shell/serial_ports.h"
#include "ecu/adapter_kind.h"

namespace m797 {

// What the "Com Port" page stores and the command line may name: a device
// (the stable /dev/serial/by-id name where it has one), a Wi-Fi adapter's
// "tcp:HOST:PORT", or the simulator. An adapter kind may sit beside it.
inline constexpr const char* kSimulatorPortName = "SIM";
inline constexpr const char* kWifiAdapterAddress = "192.168.0.10:35000";  // where most Wi-Fi ELM327s answer
inline constexpr const char* kDefaultPort = "/dev/ttyS0";

enum class PortSource { CommandLine, Stored, OnlyAdapter, Default };

struct PortInUse {
    std::string device;  // what the line opens; kSimulatorPortName for the simulator
    PortSource source = PortSource::Default;
    bool simulator() const { return device == kSimulatorPortName; }
};

// `commandLinePort` is empty when --port was not given; `stored` is empty
// when nothing is stored.
PortInUse choosePort(const std::string& commandLinePort, bool simulate, const std::string& stored,
                     const std::vector<SerialPortInfo>& present);

// The kind of adapter for the run: the one named on the command line;
// else the one stored beside the port, when the port in use is the stored
// one; else `given` (the plain K-line adapter, or an ELM327 for a tcp: port).
AdapterKind adapterForRun(bool adapterGiven, AdapterKind given, const PortInUse& port,
                          const std::string& storedAdapter);

// The port a run uses and the kind of adapter on it.
struct RunPort {
    PortInUse port;
    AdapterKind adapter = AdapterKind::KLine;
};

// At "Старт", for a run whose command line named no port: the port and
// adapter the order above gives now (a pick on the "Com Port" page, an
// adapter plugged in since the start), when they differ from `inUse`. The
// only adapter, pulled out, is waited for rather than left for the default.
// `adapterGiven`/`givenAdapter` are the command line's --adapter.
std::optional<RunPort> runPortAtStart(const RunPort& inUse, bool adapterGiven, AdapterKind givenAdapter,
                                      const std::string& storedDevice, const std::string& storedAdapter,
                                      const std::vector<SerialPortInfo>& present);

// A Wi-Fi adapter's port "tcp:HOST:PORT" and its address "HOST:PORT".
bool isWifiPort(const std::string& port);
std::string wifiAddressOf(const std::string& port);  // "" for another port
std::string wifiPortAt(const std::string& address);

// A stored text that may name a port: the simulator, a Wi-Fi adapter's
// "tcp:HOST:PORT", or an absolute path below /dev without "..", no longer
// than a path may be.
bool isStorablePort(const std::string& text);

// The strip's short name, which fits its field: "USB0", "ACM0", "BT0" for
// rfcomm0, "SIM", "Com1" for ttyS0; a /dev/serial/by-id name is shortened
// as the device it points to. Longer names keep three characters and "…".
// UTF-8.
std::string shortPortName(const std::string& device);

// The device in use and why it: one line for the terminal, and two lines
// in Russian for the strip's tooltip.
std::string portInUseText(const PortInUse& port);
std::string portInUseTooltip(const PortInUse& port);

// The window's message (UTF-8, Russian) for a port that could not be
// opened with `errorNumber`. `holder` says who has it ("process 12 (minicom)")
// and `user` is the login name for the group command.
struct PortFailure {
    std::string device;
    int errorNumber = 0;
    std::string holder;
    std::string user;
};
std::string portFailureMessage(const PortFailure& failure, const std::vector<SerialPortInfo>& present);

}  // namespace m797
