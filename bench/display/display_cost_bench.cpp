// What the live display costs a user, beside what it cannot cost less than:
// runs bench_display_app (the program streaming from the simulated control
// unit) and bench_display_floor (seven native GL windows, one smoothed strip
// each) in turn, A B A B ..., each as a process of its own, and prints per
// round and as medians: CPU time per presented frame and its ratio to the
// floor's, resident memory while streaming, and the time from the start of
// the process to its first painted panel (a start with settings already
// written, as every start after the first). Side by side in one run, so the
// ratio holds while other work slows the machine. The program sets llvmpipe
// to rasterise on its drawing thread (glpanel/rasteriser_threads.h); the
// floor runs as it is, and once more with that setting, for a second ratio
// printed beside the first. Prints figures; judges nothing. Needs a display
// (scripts/bench.sh runs it under Xvfb).
//
// Options: --rounds N (3), --seconds S (8, measured per run).

#include <unistd.h>

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "process_figures.h"

namespace {

using Parsed = std::map<std::string, double>;

std::string siblingPath(const char* name) {
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string("./x");
    return dir.substr(0, dir.rfind('/') + 1) + name;
}

Parsed parseFigures(const QByteArray& output) {
    Parsed p;
    for (const QByteArray& line : output.split('\n')) {
        if (!line.startsWith("figures ")) continue;
        for (const QByteArray& pair : line.mid(8).split(' ')) {
            const qsizetype eq = pair.indexOf('=');
            if (eq > 0) p[pair.left(eq).toStdString()] = pair.mid(eq + 1).toDouble();
        }
    }
    return p;
}

// Starts `program`, telling it when (on the monotonic clock) it was started;
// `rasteriseOnDrawingThread` runs it with llvmpipe set as the program sets
// itself (LP_NUM_THREADS=0).
Parsed run(const std::string& program, double seconds, const QString& config,
           bool rasteriseOnDrawingThread = false) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (rasteriseOnDrawingThread) env.insert(QStringLiteral("LP_NUM_THREADS"), QStringLiteral("0"));
    env.insert(QStringLiteral("M797_BENCH_CONFIG"), config);
    env.insert(QStringLiteral("M797_BENCH_STARTED_AT"), QString::number(bench::monotonicSeconds(), 'f', 6));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QString::fromStdString(program), {QStringLiteral("--seconds"), QString::number(seconds)});
    if (!p.waitForFinished(static_cast<int>((seconds + 60) * 1000))) {
        p.kill();
        p.waitForFinished();
        std::fprintf(stderr, "%s did not finish\n", program.c_str());
        return {};
    }
    return parseFigures(p.readAllStandardOutput());
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string loadAverage() {
    std::FILE* f = std::fopen("/proc/loadavg", "r");
    char line[128] = {};
    if (f) {
        if (!std::fgets(line, sizeof line, f)) line[0] = 0;
        std::fclose(f);
    }
    std::string s = line;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
}

int intOption(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = std::max(1, intOption(argc, argv, "--rounds", 3));
    const double seconds = std::max(1, intOption(argc, argv, "--seconds", 8));
    const std::string app = siblingPath("bench_display_app");
    const std::string floor = siblingPath("bench_display_floor");
    // One settings folder for every run of the program: the first, not
    // counted, writes the twelve parameter sets as a first run does.
    QTemporaryDir config;
    run(app, 1, config.path());
    std::printf("load average before: %s\n", loadAverage().c_str());
    std::vector<double> appCpu, floorCpu, ratios, rss, floorRss, firstPaint, sameSettingRatios;
    for (int r = 1; r <= rounds; ++r) {
        const Parsed a = run(app, seconds, config.path());
        const Parsed b = run(floor, seconds, config.path());
        // For comparison only: the floor with the renderer set as the program sets it.
        const Parsed c = run(floor, seconds, config.path(), true);
        if (!a.count("cpu_ms_per_frame") || !b.count("cpu_ms_per_frame") || b.at("cpu_ms_per_frame") <= 0) {
            std::fprintf(stderr, "round %d: no figures\n", r);
            continue;
        }
        appCpu.push_back(a.at("cpu_ms_per_frame"));
        floorCpu.push_back(b.at("cpu_ms_per_frame"));
        ratios.push_back(appCpu.back() / floorCpu.back());
        rss.push_back(a.at("rss_mb"));
        floorRss.push_back(b.at("rss_mb"));
        firstPaint.push_back(a.at("first_paint_s"));
        if (c.count("cpu_ms_per_frame") && c.at("cpu_ms_per_frame") > 0)
            sameSettingRatios.push_back(appCpu.back() / c.at("cpu_ms_per_frame"));
        std::printf(
            "round %d: program %.2f ms/frame (%.0f frames), floor %.2f ms/frame (%.0f frames), ratio %.2f; "
            "RSS %.1f MB (floor %.1f MB); first panel %.3f s\n",
            r, appCpu.back(), a.at("frames"), floorCpu.back(), b.at("frames"), ratios.back(), rss.back(),
            floorRss.back(), firstPaint.back());
        std::fflush(stdout);
    }
    std::printf("load average after: %s\n", loadAverage().c_str());
    std::printf("CPU per presented frame: program %.2f ms, floor %.2f ms (medians)\n", median(appCpu),
                median(floorCpu));
    std::printf("CPU ratio program/floor: %.2f (median of %zu side-by-side pairs; target at most 1.2)\n",
                median(ratios), ratios.size());
    std::printf("  (against the floor rasterising on its drawing thread too, as the program does: %.2f)\n",
                median(sameSettingRatios));
    std::printf("resident memory while streaming: %.1f MB (floor %.1f MB; target under 160 MB)\n", median(rss),
                median(floorRss));
    std::printf("first panel painted: %.3f s after the process started (target within 0.35 s)\n",
                median(firstPaint));
    return ratios.empty() ? 1 : 0;
}
