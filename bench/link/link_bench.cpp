// Poll rate of the acquisition loop against the simulator at the line timing
// of a car, and the program's own share of each cycle: the measured cycle time
// minus the time of the bytes on the wire, the control unit's answer delays
// and the 50 ms of silence that end every read. Also the processor time of
// the acquisition thread while it polls.
//
//   link_bench [seconds]     (default 15)

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/record/live_record.h"
#include "ecu/com_port.h"
#include "ecu/posix_serial_line.h"
#include "sim/k_line_simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Line time of one poll cycle: per exchange the echo and the answer at
// 10400 baud (10 bits a byte), 25 ms before the answer, 50 ms of silence.
double expectedLineMsPerCycle() {
    const double byteMs = 10.0 / 10400.0 * 1000.0;
    const int live01Bytes = 6 + 72;  // request echo + answer (with its length byte)
    const int live03Bytes = 6 + 23;
    return (live01Bytes + live03Bytes) * byteMs + 2 * 25.0 + 2 * 50.0;
}

struct Sample {
    Clock::time_point at;
    double threadCpu;
    bool gotLiveData;
};

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 15.0;
    m797::sim::SimOptions options;  // real timing
    m797::sim::KLineSimulator simulator(options);
    if (!simulator.start()) {
        std::fprintf(stderr, "cannot start the simulator\n");
        return 1;
    }
    std::unique_ptr<m797::LiveRecord> ownedRecord = std::make_unique<m797::LiveRecord>();
    m797::LiveRecord& record = *ownedRecord;
    m797::Com_Port port(record, std::make_unique<m797::PosixSerialLine>(simulator.slavePath()), '.');
    std::mutex m;
    std::vector<Sample> samples;
    port.setCycleObserver([&](const m797::RecordLock&, bool got) {
        std::lock_guard g(m);
        samples.push_back({Clock::now(), threadCpuSeconds(), got});
    });
    port.resume();
    // Measure polling only: from the first cycle on.
    while (true) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::lock_guard g(m);
        if (!samples.empty()) break;
    }
    const double processCpu0 = processCpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double processCpu1 = processCpuSeconds();
    port.terminate();
    simulator.stop();

    std::lock_guard g(m);
    if (samples.size() < 3) {
        std::fprintf(stderr, "too few cycles (%zu)\n", samples.size());
        return 1;
    }
    const Sample& first = samples.front();
    const Sample& last = samples.back();
    const double wall = std::chrono::duration<double>(last.at - first.at).count();
    const double cycles = static_cast<double>(samples.size() - 1);
    const double cycleMs = wall / cycles * 1000.0;
    std::vector<double> each;
    for (std::size_t i = 1; i < samples.size(); ++i)
        each.push_back(std::chrono::duration<double, std::milli>(samples[i].at - samples[i - 1].at).count());
    std::sort(each.begin(), each.end());
    const double threadCpuMs = (last.threadCpu - first.threadCpu) / cycles * 1000.0;
    const double lineMs = expectedLineMsPerCycle();
    const long withData = std::count_if(samples.begin() + 1, samples.end(),
                                        [](const Sample& s) { return s.gotLiveData; });

    std::printf("link_bench: %.0f s of polling against the simulator at real line timing\n", wall);
    std::printf("  poll cycles                 %ld (%ld with live data)\n", static_cast<long>(cycles), withData);
    std::printf("  cycles per second           %.2f\n", cycles / wall);
    std::printf("  cycle time                  mean %.1f ms, median %.1f ms, max %.1f ms\n", cycleMs,
                each[each.size() / 2], each.back());
    std::printf("  line time per cycle         %.1f ms (bytes, answer delays, end-of-read waits)\n", lineMs);
    std::printf("  program's own time a cycle  %.2f ms (cycle time - line time)\n", cycleMs - lineMs);
    std::printf("  acquisition thread CPU      %.3f ms a cycle, %.2f %% of one core\n", threadCpuMs,
                threadCpuMs / cycleMs * 100.0);
    std::printf("  whole process CPU           %.2f %% of one core (simulator included)\n",
                (processCpu1 - processCpu0) / seconds * 100.0);
    return 0;
}
