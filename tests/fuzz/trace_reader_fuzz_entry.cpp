#include "trace_reader_fuzz_entry.h"

#include <algorithm>
#include <memory>
#include <string>

#include "ecu/line_ended.h"
#include "ecu/replay_line.h"
#include "ecu/request_table.h"
#include "ecu/trace_format.h"

namespace m797 {
namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

bool same(const TraceRecord& a, const TraceRecord& b) {
    return a.kind == b.kind && a.atUs == b.atUs && a.durationUs == b.durationUs && a.capacity == b.capacity &&
           a.written == b.written && a.read == b.read && a.cut == b.cut && a.ok == b.ok && a.error == b.error;
}

void checkTrace(const Trace& trace, const std::string& text) {
    const long lineCount = std::count(text.begin(), text.end(), '\n') + 1;
    require(trace.problems.size() <= kMaxTraceProblems);
    require(trace.problemCount >= static_cast<long>(trace.problems.size()));
    for (const TraceProblem& p : trace.problems) require(p.line >= 1 && p.line <= lineCount && !p.text.empty());
    for (const TraceRecord& r : trace.records) {
        require(r.written.size() <= kMaxTraceBytes && r.read.size() <= kMaxTraceBytes);
        require(r.atUs >= 0 && r.durationUs >= 0);
        const Trace again = parseTrace("m797trace 1\n" + formatTraceRecord(r), "m797diag");
        require(again.records.size() == 1 && same(again.records[0], r));
    }
}

// The acquisition thread's sequence: open, wake, start, identify, poll.
void play(std::shared_ptr<const Trace> trace) {
    static const RequestTable table;
    const Request* asked[] = {&table.stopCommunication, &table.startCommunication, &table.identA1,
                              &table.ecuIdentification, &table.liveData01,         &table.liveData03};
    const std::size_t records = trace->records.size();
    ReplayLine line(std::move(trace), 0.0);
    std::uint8_t answer[kAnswerBufferSize];
    try {
        line.openPort();
        line.sendWakeUpPulse();
        for (int step = 0; step < 2000; ++step) {
            const Request& r = *asked[step % 6];
            const std::uint32_t n = line.exchange(r.frame, r.length, answer, r.capacity);
            require(n <= r.capacity);
        }
    } catch (const LineEnded&) {
    }
    require(line.position() <= records);
}

}  // namespace

void fuzzTraceFile(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto trace = std::make_shared<Trace>(parseTrace(text, "m797diag 1.1.0"));
    checkTrace(*trace, text);
    play(std::move(trace));
}

}  // namespace m797
