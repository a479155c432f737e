#pragma once
// The measured part of a display cost program: from `warmup` seconds after
// the call to `warmup + seconds`, the process's CPU time, the wall time and
// the frames that `presented` counts in between; the memory at the end. The
// event loop then quits.

#include <QCoreApplication>
#include <QTimer>
#include <functional>
#include <memory>

#include "process_figures.h"

namespace bench {

inline void measureThenQuit(double warmup, double seconds, const std::function<long()>& presented,
                            Figures& figures) {
    auto start = std::make_shared<Figures>();  // CPU, wall clock and frames at the start
    QTimer::singleShot(static_cast<int>(warmup * 1000), [start, presented] {
        start->cpuSeconds = cpuSeconds();
        start->wallSeconds = monotonicSeconds();
        start->frames = presented();
    });
    QTimer::singleShot(static_cast<int>((warmup + seconds) * 1000), [start, presented, &figures] {
        figures.cpuSeconds = cpuSeconds() - start->cpuSeconds;
        figures.wallSeconds = monotonicSeconds() - start->wallSeconds;
        figures.frames = presented() - start->frames;
        figures.rssMb = statusMegabytes("VmRSS");
        figures.peakRssMb = statusMegabytes("VmHWM");
        QCoreApplication::quit();
    });
}

}  // namespace bench
