#include "ecu/trace_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace m797 {
namespace {

// Records waiting for the disk beyond this (minutes of polling) mean it has
// stopped keeping up; memory is not spent on them.
constexpr std::size_t kMaxPending = 200000;

std::string stoppedText(const std::string& path, int error) {
    return "Запись «" + path + "» остановлена: " + std::strerror(error);
}

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::string numberedName(const std::string& path, int n) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) dot = path.size();
    return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

std::string firstFreeName(const std::string& path) {
    if (!exists(path)) return path;
    for (int n = 2; n < 1000; ++n) {
        const std::string candidate = numberedName(path, n);
        if (!exists(candidate)) return candidate;
    }
    return {};
}

TraceWriter::~TraceWriter() { close(); }

void TraceWriter::setFailureHandler(std::function<void(const std::string&)> handler) {
    onFailure_ = std::move(handler);
}

std::string TraceWriter::open(const std::string& path, const std::string& program) {
    close();
    program_ = program;
    for (int attempt = 0; attempt < 1000 && fd_ < 0; ++attempt) {
        path_ = path.empty() ? path : firstFreeName(path);
        if (path_.empty()) return "Запись «" + path + "» невозможна: " + std::strerror(path.empty() ? ENOENT : EEXIST);
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ < 0 && errno != EEXIST) return "Запись «" + path_ + "» невозможна: " + std::strerror(errno);
    }
    if (fd_ < 0) return "Запись «" + path + "» невозможна: " + std::strerror(EEXIST);
    {
        std::lock_guard guard(mutex_);
        failed_ = stopping_ = overflow_ = false;
        running_ = true;
        error_.clear();
    }
    thread_ = std::thread([this] { run(); });
    return {};
}

void TraceWriter::begin(std::int64_t startWallUs) {
    std::lock_guard guard(mutex_);
    if (fd_ < 0 || failed_) return;
    pendingText_ += traceHeader(program_, startWallUs);
    wake_.notify_one();
}

void TraceWriter::post(TraceRecord record) {
    std::lock_guard guard(mutex_);
    if (fd_ < 0 || failed_ || stopping_) return;
    if (queue_.size() >= kMaxPending) {
        overflow_ = true;
        queue_.clear();
    } else {
        queue_.push_back(std::move(record));
    }
    wake_.notify_one();
}

void TraceWriter::flush() {
    std::unique_lock guard(mutex_);
    drained_.wait(guard, [this] { return !running_ || (queue_.empty() && pendingText_.empty() && !busy_); });
}

void TraceWriter::close() {
    if (thread_.joinable()) {
        {
            std::lock_guard guard(mutex_);
            stopping_ = true;
            wake_.notify_one();
        }
        thread_.join();
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    drained_.notify_all();
}

bool TraceWriter::failed() const {
    std::lock_guard guard(mutex_);
    return failed_;
}

std::string TraceWriter::error() const {
    std::lock_guard guard(mutex_);
    return error_;
}

void TraceWriter::run() {
    std::vector<TraceRecord> batch;
    std::string text;
    for (;;) {
        {
            std::unique_lock guard(mutex_);
            busy_ = false;
            drained_.notify_all();
            wake_.wait(guard, [this] { return stopping_ || overflow_ || !queue_.empty() || !pendingText_.empty(); });
            if (overflow_) {
                overflow_ = false;
                guard.unlock();
                fail(ENOBUFS);
                continue;
            }
            if (queue_.empty() && pendingText_.empty()) {  // stopping, all written
                running_ = false;
                drained_.notify_all();
                return;
            }
            batch.swap(queue_);
            text.swap(pendingText_);
            busy_ = true;
        }
        for (const TraceRecord& r : batch) text += formatTraceRecord(r);
        batch.clear();
        if (!failed() && !writeAll(text)) fail(errno ? errno : EIO);
        text.clear();
    }
}

bool TraceWriter::writeAll(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void TraceWriter::fail(int error) {
    std::string message;
    {
        std::lock_guard guard(mutex_);
        if (failed_) return;
        failed_ = true;
        error_ = stoppedText(path_, error);
        message = error_;
        queue_.clear();
        pendingText_.clear();
    }
    if (onFailure_) onFailure_(message);
}

}  // namespace m797
