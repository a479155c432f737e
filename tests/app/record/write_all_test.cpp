#include "app/record/write_all.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <thread>

namespace m797 {
namespace {

struct Pipe {
    int fds[2] = {-1, -1};
    explicit Pipe(bool nonBlocking) { EXPECT_EQ(::pipe2(fds, O_CLOEXEC | (nonBlocking ? O_NONBLOCK : 0)), 0); }
    ~Pipe() {
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
    }
    void closeEnd(int i) {
        ::close(fds[i]);
        fds[i] = -1;
    }
};

std::string bytesOf(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
}

// Many times a pipe's capacity, read by another thread while it is written:
// on a blocking pipe the writes are partial, on a non-blocking one they
// also meet a full pipe (EAGAIN) again and again.
TEST(WriteAll, EveryByteArrivesInOrderWhateverTheWritesTake) {
    for (bool nonBlocking : {false, true}) {
        SCOPED_TRACE(nonBlocking ? "non-blocking" : "blocking");
        Pipe pipe(nonBlocking);
        const std::string sent = bytesOf(1 << 20);
        std::string received;
        std::thread reader([&] {
            const int fd = pipe.fds[0];
            ::fcntl(fd, F_SETFL, 0);  // the reader blocks
            char buf[3001];           // odd chunks, never in step with the writes
            ssize_t n;
            while ((n = ::read(fd, buf, sizeof buf)) > 0) received.append(buf, static_cast<std::size_t>(n));
        });
        EXPECT_EQ(writeAll(pipe.fds[1], sent.data(), sent.size()), sent.size());
        pipe.closeEnd(1);
        reader.join();
        EXPECT_TRUE(received == sent) << "received " << received.size() << " of " << sent.size();
    }
}

TEST(WriteAll, AFailureSaysHowMuchWentOutAndWhy) {
    std::signal(SIGPIPE, SIG_IGN);
    struct Case {
        const char* what;
        bool readerGone;
        int expectedErrno;
    };
    for (const Case& c :
         {Case{"nobody reads any more", true, EPIPE}, Case{"a full pipe nobody drains", false, EAGAIN}}) {
        SCOPED_TRACE(c.what);
        Pipe pipe(true);
        if (c.readerGone) pipe.closeEnd(0);
        const int capacity = ::fcntl(pipe.fds[1], F_GETPIPE_SZ);
        ASSERT_GT(capacity, 0);
        const std::string bytes = bytesOf(static_cast<std::size_t>(capacity) * 2);
        errno = 0;
        const std::size_t done = writeAll(pipe.fds[1], bytes.data(), bytes.size());
        EXPECT_EQ(errno, c.expectedErrno);
        EXPECT_EQ(done, c.readerGone ? 0u : static_cast<std::size_t>(capacity));
    }
}

TEST(WriteAll, NothingToWriteIsDoneAtOnce) {
    Pipe pipe(true);
    EXPECT_EQ(writeAll(pipe.fds[1], "", 0), 0u);
    EXPECT_EQ(writeAll(-1, "", 0), 0u);
}

}  // namespace
}  // namespace m797
