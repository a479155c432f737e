#include "app/exit_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>

#include <vector>

namespace {

// Taken whatever their disposition was, as they always have been.
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Taken where they would end the program: not where someone else handles
// them (a profiler keeps its SIGPROF) or the parent had them ignored (an
// ignored signal ends nothing).
constexpr int kOtherEnds[] = {SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,   SIGVTALRM, SIGPROF,
                              SIGXCPU, SIGXFSZ, SIGPWR,  SIGSTKFLT, SIGIO};
int pipeFds[2] = {-1, -1};
std::vector<int> takenSignals;

bool wouldEndTheProgram(int s) {
    struct sigaction current {};
    if (sigaction(s, nullptr, &current) != 0) return false;
    return (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL;
}

std::vector<int> signalsToTake() {
    std::vector<int> taken(std::begin(kStopSignals), std::end(kStopSignals));
    std::vector<int> others(std::begin(kOtherEnds), std::end(kOtherEnds));
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) others.push_back(s);
    for (int s : others)
        if (wouldEndTheProgram(s)) taken.push_back(s);
    return taken;
}

extern "C" void onExitSignal(int signalNumber) {
    const int saved = errno;
    const unsigned char n = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t w = ::write(pipeFds[1], &n, 1);
    errno = saved;
}

}  // namespace

ExitSignals::ExitSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ExitSignals::readPipe);
    takenSignals = signalsToTake();
    setHandlers(true);
}

ExitSignals::~ExitSignals() {
    if (!notifier_) return;
    setHandlers(false);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void ExitSignals::setHandlers(bool install) {
    struct sigaction action {};
    action.sa_handler = install ? onExitSignal : SIG_DFL;
    sigemptyset(&action.sa_mask);
    action.sa_flags = install ? SA_RESTART : 0;
    for (int s : takenSignals) sigaction(s, &action, nullptr);
}

bool ExitSignals::arrived() const {
    if (!notifier_) return false;
    pollfd p{pipeFds[0], POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

void ExitSignals::readPipe() {
    unsigned char n = 0;
    while (::read(pipeFds[0], &n, 1) == 1) emit received(n);
}
