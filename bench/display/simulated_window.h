#pragma once
// The program's main window on the simulated control unit, made as the
// program's main makes it for `--simulate --ignore-screen-width`, settings
// read. The display benchmarks measure it.

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "app/main_window.h"
#include "app/shell/link_source.h"

namespace bench {

struct SimulatedWindow {
    m797::LinkSource link;
    std::unique_ptr<TForm1> window;

    // Starts the simulator and makes the window; false (said on stderr)
    // when the simulator cannot start.
    bool start() {
        if (const m797::Failure failure = link.start(true, "")) {
            std::fprintf(stderr, "simulator: %s\n", failure->c_str());
            return false;
        }
        StartOptions options;
        options.ignoreScreenWidth = true;
        options.makeLine = [this] { return link.makeLine(); };
        window = std::make_unique<TForm1>(std::move(options));
        window->FormCreate();
        return true;
    }
};

}  // namespace bench
