#pragma once
// Thrown by a line that has nothing more to give (a replayed trace has run
// out): the acquisition thread reports the end and stops instead of trying to
// connect again.

#include <stdexcept>

namespace m797 {

struct LineEnded : std::runtime_error {
    LineEnded() : std::runtime_error("end of the recorded line") {}
};

}  // namespace m797
