#include "app/shell/link_start.h"

#include <algorithm>

#include "app/shell/command_line.h"
#include "app/shell/link_source.h"
#include "app/shell/port_selection.h"

namespace m797 {
namespace {

void addTraceProblems(const std::string& path, const Trace& trace, std::size_t listed, Notices& notices) {
    const std::size_t shown = std::min(listed, trace.problems.size());
    for (std::size_t i = 0; i < shown; ++i)
        notices.push_back({NoticeKind::Problem, path + " line " + std::to_string(trace.problems[i].line) + ": " +
                                                    trace.problems[i].text});
    const long more = trace.problemCount - static_cast<long>(shown);
    if (more > 0) notices.push_back({NoticeKind::Problem, moreTraceProblemsText(path, more)});
}

Failure startReplay(LinkSource& source, const CommandLine& cl, const LinkStartOptions& options, Notices& notices) {
    if (Failure failure = source.startReplay(cl.replayPath, cl.speed, options.stopRequested)) return failure;
    addTraceProblems(cl.replayPath, *source.replayTrace(), options.listedTraceProblems, notices);
    return std::nullopt;
}

Failure startRecording(LinkSource& source, const CommandLine& cl, const LinkStartOptions& options,
                       Notices& notices) {
    if (cl.recordPath.empty()) return std::nullopt;
    if (Failure failure = source.startRecording(cl.recordPath)) {
        if (options.recordingRequired) return failure;
        notices.push_back({NoticeKind::Problem, *failure});
        return std::nullopt;
    }
    TraceWriter* recorder = source.recorder();
    if (!recorder->notice().empty()) notices.push_back({NoticeKind::Problem, recorder->notice()});
    if (options.recordingLost) recorder->setFailureHandler(options.recordingLost);
    return std::nullopt;
}

}  // namespace

LinkStart startLink(LinkSource& source, const CommandLine& cl, const LinkStartOptions& options) {
    LinkStart start;
    source.useAdapter(cl.adapter, cl.baud, options.elmFault);
    if (!cl.replayPath.empty()) {
        start.failure = startReplay(source, cl, options, start.notices);
        return start;
    }
    if (const Failure failure = source.start(cl.simulate, cl.port, options.simulator)) {
        start.failure = "cannot start the simulator: " + *failure;
        return start;
    }
    start.failure = startRecording(source, cl, options, start.notices);
    return start;
}

Notices portNotices(const PortInUse& port, AdapterKind adapter) {
    Notices notices{{NoticeKind::Note, "port " + portInUseText(port)}};
    if (adapter == AdapterKind::Elm327) notices.push_back({NoticeKind::Note, "through an ELM327 adapter"});
    return notices;
}

std::string moreTraceProblemsText(const std::string& path, long more) {
    return "ещё ошибок в «" + path + "»: " + std::to_string(more);
}

}  // namespace m797
