#include "app/record/write_all.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace m797 {

std::size_t writeAll(int fd, const void* bytes, std::size_t size) {
    const char* data = static_cast<const char*>(bytes);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd ready{fd, POLLOUT, 0};
            const int r = ::poll(&ready, 1, kWriteAllWaitMs);
            if (r > 0 || (r < 0 && errno == EINTR)) continue;
            if (r == 0) errno = EAGAIN;
            return done;
        }
        if (n == 0) errno = EIO;
        return done;
    }
    return done;
}

}  // namespace m797
