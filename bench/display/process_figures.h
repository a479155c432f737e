#pragma once
// What a display program costs, as the process itself sees it: CPU time of
// all its threads, resident memory, and a monotonic clock shared with the
// process that started it. The display cost programs print one line of
// these figures for bench_display_cost to read.

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace bench {

inline double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline double monotonicSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// A field of /proc/self/status in megabytes ("VmRSS", "VmHWM").
inline double statusMegabytes(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    double kb = 0;
    const std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, n) == 0 && line[n] == ':') kb = std::atof(line + n + 1);
    }
    std::fclose(f);
    return kb / 1024.0;
}

// When the starting process forked us (its monotonic clock, in the
// environment), or 0 when we were started by hand.
inline double startedAt() {
    const char* t = std::getenv("M797_BENCH_STARTED_AT");
    return t ? std::atof(t) : 0.0;
}

struct Figures {
    double cpuSeconds = 0;
    long frames = 0;
    double wallSeconds = 0;
    double rssMb = 0;
    double peakRssMb = 0;
    double firstPaintSeconds = -1;  // from the start of the process; -1 unknown
};

// One line: "figures key=value ...", read by bench_display_cost.
inline void printFigures(const char* who, const Figures& f) {
    std::printf(
        "%s: %.2f ms CPU per presented frame (%ld frames in %.1f s, %.0f %% of one core), "
        "RSS %.1f MB (peak %.1f MB), first panel painted %.3f s after start\n",
        who, f.frames ? 1000.0 * f.cpuSeconds / f.frames : 0.0, f.frames, f.wallSeconds,
        100.0 * f.cpuSeconds / (f.wallSeconds > 0 ? f.wallSeconds : 1), f.rssMb, f.peakRssMb, f.firstPaintSeconds);
    std::printf(
        "figures cpu_ms_per_frame=%.4f frames=%ld seconds=%.3f rss_mb=%.2f peak_rss_mb=%.2f "
        "first_paint_s=%.4f\n",
        f.frames ? 1000.0 * f.cpuSeconds / f.frames : 0.0, f.frames, f.wallSeconds, f.rssMb, f.peakRssMb,
        f.firstPaintSeconds);
    std::fflush(stdout);
}

}  // namespace bench
