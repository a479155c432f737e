// Poll cycle through an ELM327 against the simulated ELM327 at real timing
// (K-line bytes at 10400 baud, the control unit's 25 ms, the adapter's text
// at 38400 baud), beside the sum of those parts and beside a floor measured
// in the same run: the bare text dialogue of one cycle against the same
// simulator, with and without the response count.
//
//   elm327_bench [seconds]     (default 10)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/record/live_record.h"
#include "ecu/adapter_port.h"
#include "ecu/com_port.h"
#include "ecu/elm327_dialogue.h"
#include "ecu/elm327_line.h"
#include "sim/elm327_simulator.h"
#include "sim/engine_model.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kKLineByteMs = 10.0 / 10400.0 * 1000.0;
constexpr double kTextCharMs = 10.0 / 38400.0 * 1000.0;
constexpr double kEcuAnswerMs = 25.0;

// One exchange: the request's K-line bytes, the answer's, the control unit's
// answer time, the request's text with its return and the answer's hex with
// two returns and the prompt.
double exchangeMs(int requestBytes, int answerBytes) {
    const int requestChars = (requestBytes - 4) * 2 + 1 + 1;  // data bytes, count digit, return
    const int answerChars = answerBytes * 2 + 3;
    return (requestBytes + answerBytes) * kKLineByteMs + kEcuAnswerMs + (requestChars + answerChars) * kTextCharMs;
}

double sumOfPartsMs() {
    const int live01Answer = 4 + 2 + m797::sim::kLive01DataBytes + 1;  // with a length byte
    const int live03Answer = 3 + 2 + m797::sim::kLive03DataBytes + 1;
    return exchangeMs(6, live01Answer) + exchangeMs(6, live03Answer);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

std::vector<double> programCycles(const std::string& port, double seconds) {
    std::unique_ptr<m797::LiveRecord> record = std::make_unique<m797::LiveRecord>();
    m797::Com_Port com(*record, std::make_unique<m797::Elm327Line>(port), '.');
    std::mutex m;
    std::vector<Clock::time_point> ends;
    long withData = 0;
    com.setCycleObserver([&](const m797::RecordLock&, bool got) {
        std::lock_guard g(m);
        ends.push_back(Clock::now());
        withData += got;
    });
    com.resume();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    com.terminate();
    std::vector<double> each;
    std::lock_guard g(m);
    for (std::size_t i = 2; i < ends.size(); ++i)  // from the second whole cycle on
        each.push_back(std::chrono::duration<double, std::milli>(ends[i] - ends[i - 1]).count());
    std::printf("  program: %zu cycles, %ld with live data\n", ends.size(), withData);
    return each;
}

// The same two requests written and read to the prompt, nothing else.
std::vector<double> floorCycles(const std::string& port, double seconds, bool withCount) {
    m797::AdapterPort adapter;
    std::vector<double> each;
    if (!adapter.open(port, 38400)) return each;
    std::string text;
    auto say = [&](const std::string& line, int timeoutMs) {
        text.clear();
        adapter.write(line + "\r");
        adapter.readUntilPrompt(text, m797::AdapterPort::nowNs() + timeoutMs * 1000000LL);
    };
    say("ATWS", 2000);
    std::string stale;  // what the program's last request left on its way
    while (adapter.readUntilPrompt(stale, m797::AdapterPort::nowNs() + 300000000LL) ==
           m797::AdapterPort::ReadEnd::Prompt) {
    }
    for (const m797::ElmSetupStep& step : m797::elmSetupSteps()) say(step.command, 1000);
    say("ATFI", 5000);
    const std::string count = withCount ? "1" : "";
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        const auto t0 = Clock::now();
        say("2101" + count, 2000);
        say("2103" + count, 2000);
        each.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return each;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    m797::sim::Elm327Options options;  // real timing
    m797::sim::Elm327Simulator simulator(options);
    if (!simulator.start()) {
        std::fprintf(stderr, "cannot start the simulated ELM327\n");
        return 1;
    }
    std::printf("elm327_bench: %.0f s through the simulated ELM327 at real timing (38400 baud)\n", seconds);
    const std::vector<double> program = programCycles(simulator.slavePath(), seconds);
    const std::vector<double> floor = floorCycles(simulator.slavePath(), seconds / 2, true);
    const std::vector<double> uncounted = floorCycles(simulator.slavePath(), seconds / 4, false);
    simulator.stop();
    if (program.size() < 3 || floor.empty()) {
        std::fprintf(stderr, "too few cycles\n");
        return 1;
    }
    const double parts = sumOfPartsMs();
    const double p = median(program), f = median(floor), u = median(uncounted);
    std::printf("  sum of the parts per cycle      %.1f ms (K-line bytes, 2 x 25 ms, the text)\n", parts);
    std::printf("  poll cycle (median)             %.1f ms\n", p);
    std::printf("  floor: bare dialogue, counted   %.1f ms\n", f);
    std::printf("  without response counts        %.1f ms (the adapter waits its AT ST time)\n", u);
    std::printf("  poll-cycle ratio to the parts   %.3f (target 1.15 at most)\n", p / parts);
    std::printf("  poll-cycle ratio to the floor   %.3f\n", p / f);
    return 0;
}
