#include "app/shell/broken_pipes.h"

#include <csignal>

namespace m797 {

void ignoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace m797
