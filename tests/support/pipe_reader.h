#pragma once
// A FIFO's reading end (opened O_NONBLOCK, so its writer may open it) read on
// a thread of its own until the writer closes it: what came through.

#include <unistd.h>

#include <cerrno>
#include <future>
#include <string>

namespace m797::testing {

inline std::future<std::string> readPipeToEnd(int reader) {
    return std::async(std::launch::async, [reader] {
        std::string text;
        char buf[65536];
        for (;;) {
            const ssize_t n = ::read(reader, buf, sizeof buf);
            if (n > 0)
                text.append(buf, static_cast<std::size_t>(n));
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                return text;
            else
                ::usleep(1000);
        }
    });
}

}  // namespace m797::testing
