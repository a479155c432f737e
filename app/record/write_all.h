#pragma once
// One write of a whole buffer to a file, a pipe, a pseudo-terminal or a
// serial port: write() again until every byte is out, after an interrupted
// call (EINTR) and, on a descriptor that would block (EAGAIN), once it can
// take more. Async-signal-safe (plain write() and poll(), no allocation, no
// lock): the crash path writes its releases with it.

#include <cstddef>

namespace m797 {

// How long a descriptor that would block may stay full before the write
// gives up (errno EAGAIN): a port or a pipe that nobody drains.
constexpr int kWriteAllWaitMs = 1000;

// The bytes written: all `size` of them, or those written before a
// failure, with errno saying why (EIO for a write that took nothing).
std::size_t writeAll(int fd, const void* bytes, std::size_t size);

}  // namespace m797
