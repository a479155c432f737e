#pragma once
// A long drive made of a short recorded one: the recording up to its last
// live-data cycle, then that cycle `cycles` times, `stepUs` apart (the 21 03
// exchange at 3/5 of the step). `durationUs` > 0 shortens every repeated
// exchange to it, so that a step far below the line's own pace stays in order.

#include <cstdint>
#include <string>

#include "ecu/trace_format.h"

namespace m797::testing {

inline std::string longDrive(const std::string& recorded, const std::string& program, long cycles,
                             std::int64_t stepUs, std::int64_t durationUs = 0) {
    const Trace trace = parseTrace(recorded, program);
    std::size_t last01 = 0;
    for (std::size_t i = 0; i + 1 < trace.records.size(); ++i) {
        const TraceRecord& r = trace.records[i];
        if (r.kind == TraceKind::Exchange && !r.cut && r.written.size() > 4 && r.written[3] == 0x21 &&
            r.written[4] == 0x01)
            last01 = i;
    }
    std::string text = traceHeader(trace.program, trace.startWallUs);
    for (std::size_t i = 0; i < last01; ++i) text += formatTraceRecord(trace.records[i]);
    TraceRecord live01 = trace.records[last01], live03 = trace.records[last01 + 1];
    if (durationUs > 0) live01.durationUs = live03.durationUs = durationUs;
    std::int64_t t = live01.atUs;
    for (long n = 0; n < cycles; ++n, t += stepUs) {
        live01.atUs = t;
        live03.atUs = t + stepUs * 3 / 5;
        text += formatTraceRecord(live01);
        text += formatTraceRecord(live03);
    }
    return text;
}

}  // namespace m797::testing
