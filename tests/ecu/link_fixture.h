#pragma once
// Com_Port on a PosixSerialLine against the simulator in fast timing, with
// short read time-outs, recording what the loop reports.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/record/cp1251.h"
#include "app/record/live_record.h"
#include "ecu/com_port.h"
#include "ecu/posix_serial_line.h"
#include "sim/k_line_simulator.h"

namespace m797::testing {

// Short enough for quick tests, long enough for a loaded machine.
inline constexpr LineTimeouts kFastTimeouts{25, 2, 20, 30};
// For tests that need every answer the simulator gives to arrive: a
// simulator thread held up for tens of milliseconds by a loaded machine
// still answers in time. A read that gets no answer costs its whole time.
inline constexpr LineTimeouts kPatientTimeouts{25, 2, 300, 30};

inline bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A frame as the tests name it: "82" StopCommunication, "00@360" the wake-up,
// "81", "21A1", "1A80", "2101", ... (service, and local id where there is one).
inline std::string frameName(const sim::ReceivedFrame& f) {
    auto hex = [](std::uint8_t b) {
        const char* d = "0123456789ABCDEF";
        return std::string{d[b >> 4], d[b & 15]};
    };
    if (f.baud != 0 && f.baud < 1200) return hex(f.bytes.at(0)) + "@" + std::to_string(f.baud);
    if (f.bytes.size() < 5) return "?";
    const std::uint8_t service = f.bytes[3];
    std::string name = hex(service);
    if (service == 0x21 || service == 0x1A || service == 0x30) name += hex(f.bytes[4]);
    return name;
}

inline std::vector<std::string> frameNames(const sim::KLineSimulator& s) {
    std::vector<std::string> names;
    for (const auto& f : s.frames()) names.push_back(frameName(f));
    return names;
}

inline std::string utf8(const std::string& cp1251) { return cp1251ToUtf8(cp1251); }

inline sim::SimOptions fastSim(sim::Fault fault = sim::Fault::None) {
    sim::SimOptions o;
    o.realTiming = false;
    o.fault = fault;
    return o;
}

struct Link {
    explicit Link(sim::SimOptions options = fastSim(), LineTimeouts timeouts = kFastTimeouts)
        : simulator(std::move(options)) {
        simulator.start();
        port = std::make_unique<Com_Port>(record,
                                          std::make_unique<PosixSerialLine>(simulator.slavePath(), timeouts));
        port->setStatusObserver([this](const LinkEvent& event) {
            std::lock_guard guard(mutex);
            statuses.push_back(utf8(linkStatusText(event.status)));
        });
        port->setGiveUpHandler([this] { ++giveUps; });
        port->setCycleObserver([this](const RecordLock&, bool got) {
            ++cycles;
            if (got) ++cyclesWithData;
        });
    }
    ~Link() {
        port->terminate();
        simulator.stop();
    }
    std::vector<std::string> statusLog() {
        std::lock_guard guard(mutex);
        return statuses;
    }

    std::unique_ptr<LiveRecord> ownedRecord = std::make_unique<LiveRecord>();
    LiveRecord& record = *ownedRecord;
    sim::KLineSimulator simulator;
    std::unique_ptr<Com_Port> port;
    std::mutex mutex;
    std::vector<std::string> statuses;
    std::atomic<int> giveUps{0};
    std::atomic<long> cycles{0};
    std::atomic<long> cyclesWithData{0};
};

}  // namespace m797::testing
