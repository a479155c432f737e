#include "ecu/trace_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/record/write_all.h"

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
        std::string candidate = numberedName(path, n);
        if (!exists(candidate)) return candidate;
    }
    return {};
}

std::string takenNameNotice(const std::string& asked, const std::string& used) {
    return "«" + asked + "» уже есть; запись идёт в «" + used + "»";
}

TraceWriter::~TraceWriter() { close(); }

void TraceWriter::setFailureHandler(std::function<void(const std::string&)> handler) {
    onFailure_ = std::move(handler);
}

std::string TraceWriter::open(const std::string& path, const std::string& program) {
    close();
    program_ = program;
    notice_.clear();
    for (int attempt = 0; attempt < 1000 && fd_ < 0; ++attempt) {
        path_ = path.empty() ? path : firstFreeName(path);
        if (path_.empty())
            return "Запись «" + path + "» невозможна: " + std::strerror(path.empty() ? ENOENT : EEXIST);
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ < 0 && errno != EEXIST) return "Запись «" + path_ + "» невозможна: " + std::strerror(errno);
    }
    if (fd_ < 0) return "Запись «" + path + "» невозможна: " + std::strerror(EEXIST);
    if (path_ != path) notice_ = takenNameNotice(path, path_);
    {
        std::lock_guard guard(errorMutex_);
        error_.clear();
    }
    writeError_ = 0;
    writer_ = std::make_unique<Writer>(
        kMaxPending, Writer::WhenFull::Drop, [this](std::vector<Piece>& pieces) { return writePieces(pieces); },
        [this](const Writer::Failure& failure) { fail(failure); });
    return {};
}

void TraceWriter::begin(std::int64_t startWallUs) {
    if (writer_) writer_->post(traceHeader(program_, startWallUs));
}

void TraceWriter::post(TraceRecord record) {
    if (writer_) writer_->post(std::move(record));
}

void TraceWriter::flush() {
    if (writer_) writer_->flush();
}

void TraceWriter::close() {
    writer_.reset();  // everything handed over is written first
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool TraceWriter::failed() const {
    std::lock_guard guard(errorMutex_);
    return !error_.empty();
}

std::string TraceWriter::error() const {
    std::lock_guard guard(errorMutex_);
    return error_;
}

// On the writer's thread: the batch as one write. When only part of it
// could be written, the file is cut back to the last whole line, so it ends
// after the last whole record; those written count.
std::size_t TraceWriter::writePieces(std::vector<Piece>& pieces) {
    std::string text;
    std::vector<std::size_t> ends;  // where each piece's text ends
    for (const Piece& piece : pieces) {
        if (const auto* header = std::get_if<std::string>(&piece))
            text += *header;
        else
            text += formatTraceRecord(std::get<TraceRecord>(piece));
        ends.push_back(text.size());
    }
    struct stat before {};
    const bool regular = fstat(fd_, &before) == 0 && S_ISREG(before.st_mode);
    const std::size_t done = writeAll(text);
    if (done == text.size()) return pieces.size();
    writeError_ = errno ? errno : EIO;
    std::size_t whole = 0;
    while (whole < ends.size() && ends[whole] <= done) ++whole;
    const std::size_t keep = whole == 0 ? 0 : ends[whole - 1];
    if (regular && keep < done && ftruncate(fd_, before.st_size + static_cast<off_t>(keep)) != 0) {
        // A part record remains; a reader leaves out a cut last line.
    }
    return whole;
}

// The bytes written before a failure (errno then says why); all of them on success.
std::size_t TraceWriter::writeAll(const std::string& bytes) {
    return m797::writeAll(fd_, bytes.data(), bytes.size());
}

// On the writer's thread, once.
void TraceWriter::fail(const Writer::Failure& failure) {
    std::string message = failure.behind
                              ? "Запись «" + path_ + "» остановлена: диск не успевал, потеряно записей: " +
                                    std::to_string(failure.lost)
                              : stoppedText(path_, writeError_);
    {
        std::lock_guard guard(errorMutex_);
        error_ = message;
    }
    if (onFailure_) onFailure_(message);
}

}  // namespace m797
