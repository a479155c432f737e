#include "app/end_at_exit.h"

#include <unistd.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "app/main_window.h"

namespace {

std::atomic<TForm1*> windowToEnd{nullptr};

extern "C" void endAtExit() {
    TForm1* window = windowToEnd.exchange(nullptr);
    if (!window) return;
    const int status = window->endWithoutDisplay();
    if (status == 0) return;
    std::fflush(stderr);
    _exit(status);  // exit() may not be called again from here
}

}  // namespace

EndAtExit::EndAtExit(TForm1& window) {
    static const bool registered = std::atexit(endAtExit) == 0;
    if (registered) windowToEnd = &window;
}

EndAtExit::~EndAtExit() { windowToEnd = nullptr; }
