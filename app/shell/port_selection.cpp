#include "app/shell/port_selection.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

#include "ecu/adapter_port.h"

namespace m797 {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDevPrefix = "/dev/";
constexpr std::size_t kLongestPath = 4096;

// Device names the strip shortens by a shorter prefix ("ttyUSB0" -> "USB0";
// "rfcomm0" is wider than the field: "BT0").
constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kShorterPrefixes{
    {{"ttyUSB", "USB"}, {"ttyACM", "ACM"}, {"ttyAMA", "AMA"}, {"rfcomm", "BT"}}};
constexpr std::string_view kBuiltInPrefix = "ttyS";  // ttyS0 is "Com1", as on the PCs of old

constexpr const char* kChoosePortHint = "Выберите порт: «Настройка» → «Com Port».";

// The strip's field holds five characters: a longer name keeps three and "…"
// (as wide as two digits).
constexpr std::size_t kFieldCharacters = 5;  // "USB10"

std::string fitField(const std::string& utf8) {
    std::size_t characters = 0, cut = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) continue;  // inside a character
        if (++characters == kFieldCharacters - 1) cut = i;
    }
    return characters <= kFieldCharacters ? utf8 : utf8.substr(0, cut) + "…";
}

std::string shortOfDeviceName(const std::string& name) {
    for (const auto& [prefix, shorter] : kShorterPrefixes)
        if (name.starts_with(prefix) && name.size() > prefix.size())
            return std::string(shorter) + name.substr(prefix.size());
    if (name.starts_with(kBuiltInPrefix) && name.size() > kBuiltInPrefix.size()) {
        const std::string number = name.substr(kBuiltInPrefix.size());
        if (std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
            number.size() < 4)
            return "Com" + std::to_string(std::stoi(number) + 1);
    }
    return name;
}

// "process 1234 (minicom)" as the message says it.
std::string holderInRussian(const std::string& holder) {
    constexpr std::string_view kProcess = "process ";
    if (!holder.starts_with(kProcess)) return holder;
    const std::string rest = holder.substr(kProcess.size());
    const std::size_t open = rest.find(" (");
    const std::string pid = rest.substr(0, open);
    if (open == std::string::npos || rest.back() != ')') return "процесс " + pid;
    return "программа " + rest.substr(open + 2, rest.size() - open - 3) + " (процесс " + pid + ")";
}

std::string presentList(const std::vector<SerialPortInfo>& present) {
    if (present.empty()) return "Последовательных портов не найдено: подключите адаптер.\n";
    std::string text = "Подключены:\n";
    for (const SerialPortInfo& p : present) {
        text += "  " + shortPortName(p.device) + "  " + stablePortName(p);
        if (!p.product.empty()) text += "  " + p.product;
        text += '\n';
    }
    return text;
}

std::string missingMessage(const PortFailure& f, const std::vector<SerialPortInfo>& present) {
    return "Порт " + f.device + " не найден.\n" + presentList(present) + kChoosePortHint;
}

std::string deniedMessage(const PortFailure& f) {
    const std::string user = f.user.empty() ? std::string("$USER") : f.user;
    return "Нет доступа к порту " + f.device + ".\nВыполните в терминале:\n    sudo usermod -aG dialout " + user +
           "\nи войдите в систему заново (новый вход нужен, чтобы права начали действовать).";
}

std::string busyMessage(const PortFailure& f) {
    const std::string who = f.holder.empty() ? std::string("другая программа") : holderInRussian(f.holder);
    return "Порт " + f.device + " занят: его держит " + who + ".\nЗакройте её и нажмите «Старт».";
}

std::string notSerialMessage(const PortFailure& f) {
    return f.device + " - не последовательный порт.\n" + kChoosePortHint;
}

// An ELM327 was expected on the port (--adapter elm327, or the page's choice).
std::string notElm327Message(const PortFailure& f) {
    return "На порту " + f.device +
           " отвечает не адаптер ELM327.\nВыберите тип адаптера «K-Line» или другой порт: "
           "«Настройка» → «Com Port».";
}

// A Wi-Fi adapter that cannot be reached: its network, or its address.
std::string wifiMessage(const PortFailure& f) {
    return "Адаптер ELM327 по Wi-Fi (" + wifiAddressOf(f.device) +
           ") недоступен: " + std::strerror(f.errorNumber) +
           ".\nПодключите компьютер к сети Wi-Fi адаптера и проверьте адрес: «Настройка» → «Com Port».";
}

std::string silentElm327Message(const PortFailure& f) {
    return "Адаптер ELM327 на порту " + f.device +
           " не отвечает.\nПроверьте, что он вставлен в разъём диагностики автомобиля (питание он берёт "
           "оттуда) и подключён к компьютеру.";
}

}  // namespace

PortInUse choosePort(const std::string& commandLinePort, bool simulate, const std::string& stored,
                     const std::vector<SerialPortInfo>& present) {
    if (simulate) return {kSimulatorPortName, PortSource::CommandLine};
    if (!commandLinePort.empty()) return {commandLinePort, PortSource::CommandLine};
    if (isStorablePort(stored)) return {stored, PortSource::Stored};
    const SerialPortInfo* only = nullptr;
    for (const SerialPortInfo& p : present) {
        if (!isPluggedAdapter(p)) continue;
        if (only) return {kDefaultPort, PortSource::Default};
        only = &p;
    }
    if (only) return {stablePortName(*only), PortSource::OnlyAdapter};
    return {kDefaultPort, PortSource::Default};
}

AdapterKind adapterForRun(bool adapterGiven, AdapterKind given, const PortInUse& port,
                          const std::string& storedAdapter) {
    if (isTcpPortName(port.device)) return AdapterKind::Elm327;  // only an ELM327 talks over Wi-Fi
    if (adapterGiven || port.source != PortSource::Stored) return given;
    return parseAdapterKind(storedAdapter).value_or(given);
}

std::optional<RunPort> runPortAtStart(const RunPort& inUse, bool adapterGiven, AdapterKind givenAdapter,
                                      const std::string& storedDevice, const std::string& storedAdapter,
                                      const std::vector<SerialPortInfo>& present) {
    RunPort now{choosePort("", false, storedDevice, present)};
    // The only adapter pulled out for a moment: waited for, not left for the built-in port.
    if (now.port.source == PortSource::Default && inUse.port.source == PortSource::OnlyAdapter)
        return std::nullopt;
    now.adapter = adapterForRun(adapterGiven, givenAdapter, now.port, storedAdapter);
    if (now.port.device == inUse.port.device && now.adapter == inUse.adapter) return std::nullopt;
    return now;
}

bool isWifiPort(const std::string& port) { return isTcpPortName(port); }

std::string wifiAddressOf(const std::string& port) {
    return isWifiPort(port) ? port.substr(kTcpPortPrefix.size()) : std::string();
}

std::string wifiPortAt(const std::string& address) { return std::string(kTcpPortPrefix) + address; }

bool isStorablePort(const std::string& text) {
    if (text == kSimulatorPortName) return true;
    if (text.size() >= kLongestPath ||
        std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return false;
    std::string host;
    int tcpPort = 0;
    if (isTcpPortName(text)) return parseTcpPortName(text, host, tcpPort);
    return text.size() > kDevPrefix.size() && text.starts_with(kDevPrefix) &&
           text.find("/../") == std::string::npos && !text.ends_with("/..");
}

std::string shortPortName(const std::string& device) {
    if (device == kSimulatorPortName) return device;
    if (isWifiPort(device)) return "WiFi";  // an ELM327 on the network
    const fs::path path(device);
    if (path.parent_path().filename() == "by-id") {
        std::error_code ec;
        const fs::path target = fs::read_symlink(path, ec);
        return ec ? std::string("USB") : fitField(shortOfDeviceName(target.filename().string()));
    }
    return fitField(shortOfDeviceName(path.filename().string()));
}

std::string portInUseText(const PortInUse& port) {
    static constexpr std::array<const char*, 4> kWhy{"named on the command line", "chosen on the Com Port page",
                                                     "the only adapter plugged in", "the first built-in port"};
    return port.device + " (" + kWhy[static_cast<std::size_t>(port.source)] + ")";
}

std::string portInUseTooltip(const PortInUse& port) {
    static constexpr std::array<const char*, 4> kWhy{"указан в командной строке", "выбран в настройке «Com Port»",
                                                     "единственный подключённый адаптер",
                                                     "первый встроенный порт"};
    const std::string name = port.simulator() ? std::string("встроенный имитатор ЭБУ") : port.device;
    return name + "\n" + kWhy[static_cast<std::size_t>(port.source)];
}

std::string portFailureMessage(const PortFailure& failure, const std::vector<SerialPortInfo>& present) {
    if (isTcpPortName(failure.device) && failure.errorNumber != EPROTO) return wifiMessage(failure);
    switch (failure.errorNumber) {
    case EACCES:
    case EPERM: return deniedMessage(failure);
    case EBUSY: return busyMessage(failure);
    case ENOENT:
    case ENODEV:
    case ENXIO: return missingMessage(failure, present);
    case ENOTTY: return notSerialMessage(failure);
    case EPROTO: return notElm327Message(failure);
    case ETIMEDOUT: return silentElm327Message(failure);
    default: break;
    }
    return "Порт " + failure.device + " не открывается: " + std::strerror(failure.errorNumber) + ".\n" +
           kChoosePortHint;
}

}  // namespace m797
