// Replay at "max" speed: a trace of a long drive turned into a CSV log, as
// `m797diag --headless --replay drive.trace --speed max --log drive.csv` does.
// A short session is recorded against the simulator, its poll cycles are
// repeated into a drive of the given length, and the trace is read and
// played through Com_Port with the CSV log open, the replay waiting for the
// log's writer as m797diag's does. Prints the cycles decoded and the rows
// written into the CSV per second (target: over 20,000 cycles), and fails
// when the CSV holds other than one row for every cycle with live data.
//
//   replay_bench [cycles]     (default 100000, about four hours of polling)

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "app/record/live_record.h"
#include "app/shell/csv_log.h"
#include "app/shell/link_source.h"
#include "ecu/com_port.h"
#include "ecu/trace_format.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

bool waitFor(const std::atomic<bool>& flag, double seconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!flag && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return flag;
}

// A short live session against the simulator, recorded.
bool recordSession(const std::string& path) {
    m797::LinkSource source;
    m797::sim::SimOptions fast;
    fast.realTiming = false;
    if (source.start(true, "", fast) || source.startRecording(path)) return false;
    std::unique_ptr<m797::LiveRecord> ownedRecord = std::make_unique<m797::LiveRecord>();
    m797::LiveRecord& record = *ownedRecord;
    m797::Com_Port port(record, source.makeLine(m797::LineTimeouts{25, 2, 20, 30}), '.');
    std::atomic<long> cycles{0};
    std::atomic<bool> enough{false};
    port.setCycleObserver([&](const m797::RecordLock&, bool) { enough = ++cycles >= 20; });
    port.resume();
    const bool ok = waitFor(enough, 30);
    port.terminate();
    source.recorder()->close();
    return ok;
}

// The recorded trace with its last poll cycle repeated until the drive has
// `cycles` cycles, 150 ms apart as on a car.
std::string longDrive(const std::string& recorded, long cycles) {
    const m797::Trace trace = m797::parseTrace(recorded, m797::programVersion());
    std::size_t last01 = 0;
    for (std::size_t i = 0; i < trace.records.size(); ++i)
        if (trace.records[i].kind == m797::TraceKind::Exchange && !trace.records[i].cut &&
            trace.records[i].written.size() > 4 && trace.records[i].written[3] == 0x21 &&
            trace.records[i].written[4] == 0x01 && i + 1 < trace.records.size())
            last01 = i;
    std::string text = m797::traceHeader(trace.program, trace.startWallUs);
    std::int64_t t = 0;
    for (std::size_t i = 0; i < last01; ++i) {
        text += m797::formatTraceRecord(trace.records[i]);
        t = trace.records[i].atUs;
    }
    m797::TraceRecord live01 = trace.records[last01], live03 = trace.records[last01 + 1];
    for (long n = 0; n < cycles; ++n) {
        live01.atUs = t += 150000;
        live03.atUs = t + 90000;
        text += m797::formatTraceRecord(live01);
        text += m797::formatTraceRecord(live03);
    }
    return text;
}

// Rows of a CSV file: its lines after the header.
long rowsIn(const std::string& path) {
    std::ifstream in(path);
    long lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines > 0 ? lines - 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const long cycles = argc > 1 ? std::atol(argv[1]) : 100000;
    char dir[] = "/tmp/m797-replay-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) return 1;
    const std::string tracePath = std::string(dir) + "/drive.trace", csvPath = std::string(dir) + "/drive.csv";
    if (!recordSession(std::string(dir) + "/short.trace")) {
        std::fprintf(stderr, "cannot record a session against the simulator\n");
        return 1;
    }
    std::stringstream recorded;
    recorded << std::ifstream(std::string(dir) + "/short.trace").rdbuf();
    std::ofstream(tracePath) << longDrive(recorded.str(), cycles);

    const auto t0 = Clock::now();
    m797::LinkSource source;
    if (const m797::Failure failure = source.startReplay(tracePath, 0.0)) {
        std::fprintf(stderr, "%s\n", failure->c_str());
        return 1;
    }
    const double readSeconds = secondsSince(t0);
    m797::CsvLog log;
    if (!log.open(csvPath).empty()) return 1;
    std::unique_ptr<m797::LiveRecord> ownedRecord = std::make_unique<m797::LiveRecord>();
    m797::LiveRecord& record = *ownedRecord;
    m797::Com_Port port(record, source.makeLine(), '.');
    log.useClock(source.lineClock());
    log.letSourceWait(true);
    std::atomic<long> decoded{0};
    std::atomic<bool> ended{false};
    port.setCycleObserver([&](const m797::RecordLock& held, bool got) {
        ++decoded;
        log.logCycle(held, got);
    });
    port.setEndOfLineHandler([&] { ended = true; });
    const auto t1 = Clock::now();
    port.resume();
    if (!waitFor(ended, 600)) {
        std::fprintf(stderr, "the replay did not end\n");
        return 1;
    }
    port.terminate();
    log.close();  // the rows are in the file when the time is taken
    const double playSeconds = secondsSince(t1);
    const double total = secondsSince(t0);

    std::ifstream traceFile(tracePath, std::ios::ate), csvFile(csvPath, std::ios::ate);
    const long withData = port.cyclesWithData();
    const long rows = rowsIn(csvPath);
    std::printf("replay_bench: a drive of %ld poll cycles (%.1f h at 150 ms a cycle)\n", cycles,
                cycles * 0.15 / 3600);
    std::printf("  trace                   %.1f MB, read in %.3f s\n", traceFile.tellg() / 1e6, readSeconds);
    std::printf("  cycles decoded          %ld, %ld with live data\n", decoded.load(), withData);
    std::printf("  rows written            %ld (%.1f MB of CSV)\n", rows, csvFile.tellg() / 1e6);
    std::printf("  played and logged in    %.3f s\n", playSeconds);
    std::printf("  cycles per second       %.0f played, %.0f with the reading (target > 20000)\n",
                decoded / playSeconds, decoded / total);
    std::printf("  rows per second         %.0f into the CSV, %.0f with the reading\n", rows / playSeconds,
                rows / total);
    const bool whole = rows == withData;
    if (!whole)
        std::printf("replay_bench: FAILED: %ld rows written for %ld cycles with live data (%ld lost)\n", rows,
                    withData, log.lostRows());
    std::remove(tracePath.c_str());
    std::remove(csvPath.c_str());
    std::remove((std::string(dir) + "/short.trace").c_str());
    rmdir(dir);
    return whole ? 0 : 1;
}
