#include "ecu/trace_format.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include "ecu/wall_time.h"

namespace m797 {
namespace {

constexpr const char* kHexDigits = "0123456789ABCDEF";
// Largest time in a trace: about 115 days, far longer than any drive, and far
// from overflowing when times are added.
constexpr std::int64_t kMaxTraceUs = 9999999999999LL;
// Larger files are not traces (an hour of polling is some 20 MB).
constexpr off_t kMaxTraceFileBytes = off_t{1} << 30;

void appendMicros(std::string& out, std::int64_t us) {
    char buf[32];
    const auto whole = std::to_chars(buf, buf + sizeof buf, us / 1000000);
    out.append(buf, whole.ptr);
    out += '.';
    const std::int64_t fraction = us % 1000000;
    char digits[6];
    std::int64_t f = fraction;
    for (int i = 5; i >= 0; --i, f /= 10) digits[i] = static_cast<char>('0' + f % 10);
    out.append(digits, 6);
}

void appendHex(std::string& out, const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) {
        out += '-';
        return;
    }
    for (std::uint8_t b : bytes) {
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 15];
    }
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        const std::size_t start = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
        if (at > start) out.push_back(line.substr(start, at - start));
    }
    return out;
}

bool parseMicros(std::string_view text, std::int64_t& out) {
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view{}
                                                                      : text.substr(point + 1);
    if (whole.empty() || whole.size() > 8 || fraction.size() > 6) return false;
    if (point != std::string_view::npos && fraction.empty()) return false;
    std::int64_t value = 0;
    for (char c : whole) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    std::int64_t part = 0;
    for (std::size_t i = 0; i < 6; ++i) {
        const char c = i < fraction.size() ? fraction[i] : '0';
        if (c < '0' || c > '9') return false;
        part = part * 10 + (c - '0');
    }
    out = value * 1000000 + part;
    return out <= kMaxTraceUs;
}

bool parseCount(std::string_view text, long maxValue, long& out) {
    if (text.empty() || text.size() > 9) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value > maxValue) return false;
    out = value;
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool parseHex(std::string_view text, std::vector<std::uint8_t>& out) {
    out.clear();
    if (text == "-") return true;
    if (text.size() % 2 != 0 || text.size() / 2 > kMaxTraceBytes) return false;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = hexValue(text[i]), lo = hexValue(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return true;
}

// A record line; an empty string when it was read, else what is wrong with it.
std::string parseRecord(const std::vector<std::string_view>& f, TraceRecord& r) {
    if (f[0].size() != 1) return "unknown record '" + escapedTraceText(f[0].substr(0, 16)) + "'";
    const char kind = f[0][0];
    const std::size_t expected = kind == 'x' ? 6 : kind == 'o' ? 4 : kind == 'w' ? 4 : kind == 'c' ? 3 : 0;
    if (expected == 0) return "unknown record '" + escapedTraceText(f[0]) + "'";
    if (f.size() < expected) return "too few fields";
    r = TraceRecord{};
    r.kind = static_cast<TraceKind>(kind);
    if (!parseMicros(f[1], r.atUs) || !parseMicros(f[2], r.durationUs)) return "bad time";
    long number = 0;
    switch (r.kind) {
    case TraceKind::Exchange:
        if (!parseCount(f[3], static_cast<long>(kMaxTraceBytes), number)) return "bad byte count";
        r.capacity = static_cast<std::uint32_t>(number);
        if (!parseHex(f[4], r.written) || r.written.empty()) return "bad bytes written";
        if (!parseHex(f[5], r.read)) return "bad bytes read";
        if (f.size() == 7 && f[6] == "cut")
            r.cut = true;
        else if (f.size() != 6)
            return "too many fields";
        return {};
    case TraceKind::Open:
        if (f[3] == "ok" && f.size() == 4) return {};
        if (f[3] != "fail" || f.size() != 5 || !parseCount(f[4], 4095, number)) return "bad open result";
        r.ok = false;
        r.error = static_cast<int>(number);
        return {};
    case TraceKind::WakeUp:
        if (!parseCount(f[3], 1000000, number) || f.size() != 4) return "bad wake-up speed";
        return {};
    case TraceKind::Close: return f.size() == 3 ? std::string{} : "too many fields";
    }
    return "unknown record";
}

class TraceParser {
public:
    TraceParser(Trace& trace, const std::string& ownProgram) : t_(trace), ownProgram_(ownProgram) {}

    void line(long number, std::string_view text, bool cutOff) {
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        if (cutOff) {
            problem(number, "last line cut off; left out");
            return;
        }
        const auto f = fields(text);
        if (f.empty() || f[0][0] == '#') return;
        if (!sawHeader_) {
            sawHeader_ = true;
            if (f[0] == kTraceMagic) return header(number, f);
            problem(number, "no trace header; reading on");
        }
        if (f[0] == "program") return program(number, text);
        if (f[0] == "start") return start(number, f);
        if (f[0] == "line") return;
        TraceRecord r;
        const std::string wrong = parseRecord(f, r);
        if (!wrong.empty()) return problem(number, "damaged line (" + wrong + "); left out");
        if (r.atUs < lastAt_) problem(number, "time goes back");
        lastAt_ = r.atUs;
        t_.records.push_back(std::move(r));
    }

    void tooLong(long number) { problem(number, "damaged line (too long); left out"); }

private:
    void problem(long number, std::string text) {
        ++t_.problemCount;
        if (t_.problems.size() < kMaxTraceProblems) t_.problems.push_back({number, std::move(text)});
    }

    void header(long number, const std::vector<std::string_view>& f) {
        long version = 0;
        if (f.size() != 2 || !parseCount(f[1], 1000000, version)) {
            problem(number, "damaged trace header; reading on");
            return;
        }
        t_.formatVersion = static_cast<int>(version);
        if (version != kTraceFormatVersion)
            problem(number, "trace format version " + std::to_string(version) + ", this program reads version " +
                                std::to_string(kTraceFormatVersion) + "; reading on");
    }

    void program(long number, std::string_view text) {
        std::string_view rest = text.substr(text.find("program") + 7);
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        t_.program = std::string(rest.substr(0, 200));
        if (t_.program != ownProgram_)
            problem(number, "recorded by " + escapedTraceText(t_.program) + ", this is " + ownProgram_);
    }

    void start(long number, const std::vector<std::string_view>& f) {
        const auto us = f.size() == 2 ? parseIsoUtc(std::string(f[1])) : std::nullopt;
        if (us)
            t_.startWallUs = *us;
        else
            problem(number, "bad start time");
    }

    Trace& t_;
    const std::string& ownProgram_;
    bool sawHeader_ = false;
    std::int64_t lastAt_ = 0;
};

}  // namespace

std::string traceHeader(const std::string& program, std::int64_t startWallUs) {
    return std::string(kTraceMagic) + " " + std::to_string(kTraceFormatVersion) + "\nprogram " + program +
           "\nstart " + isoUtc(startWallUs, 6) + "\nline 10400 8N1\n";
}

std::string formatTraceRecord(const TraceRecord& r) {
    std::string out;
    out.reserve(32 + 2 * (r.written.size() + r.read.size()));
    out += static_cast<char>(r.kind);
    out += ' ';
    appendMicros(out, r.atUs);
    out += ' ';
    appendMicros(out, r.durationUs);
    switch (r.kind) {
    case TraceKind::Exchange:
        out += ' ';
        out += std::to_string(r.capacity);
        out += ' ';
        appendHex(out, r.written);
        out += ' ';
        appendHex(out, r.read);
        if (r.cut) out += " cut";
        break;
    case TraceKind::Open: out += r.ok ? " ok" : " fail " + std::to_string(r.error); break;
    case TraceKind::WakeUp: out += " 360"; break;
    case TraceKind::Close: break;
    }
    out += '\n';
    return out;
}

std::string escapedTraceText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\\') {
            out += "\\\\";
        } else if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += kHexDigits[b >> 4];
            out += kHexDigits[b & 15];
        }
    }
    return out;
}

namespace {

// Cuts text handed over in pieces into lines for the parser, keeping at most
// kMaxTraceLineBytes of a line: a longer one is a damaged line, skipped to
// its end.
class TraceLines {
public:
    explicit TraceLines(TraceParser& parser) : parser_(parser) {}

    void add(std::string_view piece) {
        while (!piece.empty()) {
            const std::size_t end = piece.find('\n');
            const std::string_view part = piece.substr(0, end);
            if (!tooLong_ && pending_.size() + part.size() > kMaxTraceLineBytes) {
                tooLong_ = true;
                pending_.clear();
                pending_.shrink_to_fit();
            }
            if (!tooLong_) pending_.append(part);
            if (end == std::string_view::npos) return;
            endLine(false);
            piece.remove_prefix(end + 1);
        }
    }

    // At the end of the text: a last line without its line end was cut off.
    long finish() {
        if (!pending_.empty() || tooLong_) endLine(true);
        return number_;
    }

private:
    void endLine(bool cutOff) {
        ++number_;
        if (tooLong_)
            parser_.tooLong(number_);
        else
            parser_.line(number_, pending_, cutOff);
        pending_.clear();
        tooLong_ = false;
    }

    TraceParser& parser_;
    std::string pending_;
    bool tooLong_ = false;
    long number_ = 0;
};

}  // namespace

Trace parseTrace(const std::string& text, const std::string& ownProgram) {
    Trace trace;
    TraceParser parser(trace, ownProgram);
    TraceLines lines(parser);
    lines.add(text);
    if (lines.finish() == 0) trace.problems.push_back({1, "empty trace"}), ++trace.problemCount;
    return trace;
}

namespace {

std::string unreadable(const std::string& path, int error) {
    return "Невозможно прочитать запись «" + path + "»: " + std::strerror(error);
}

// Waits until the file has bytes (or its end) for a read; false when asked to stop first.
bool waitReadable(int fd, const std::function<bool()>& stopRequested) {
    for (;;) {
        if (stopRequested && stopRequested()) return false;
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, stopRequested ? 100 : -1);
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return true;  // the read says what is wrong
    }
}

}  // namespace

bool readTraceFile(const std::string& path, const std::string& ownProgram, Trace& trace, std::string& error,
                   const std::function<bool()>& stopRequested) {
    // Not blocking in open(): a FIFO nobody writes to is waited for below,
    // where a stop request is heard.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = unreadable(path, errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > kMaxTraceFileBytes) {
        ::close(fd);
        error = "Запись «" + path + "» слишком велика";
        return false;
    }
    trace = Trace{};
    TraceParser parser(trace, ownProgram);
    TraceLines lines(parser);
    std::vector<char> buf(65536);
    off_t total = 0;
    for (;;) {
        if (!waitReadable(fd, stopRequested)) {
            ::close(fd);
            error = "Чтение записи «" + path + "» прервано";
            return false;
        }
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) {
            error = unreadable(path, errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        total += n;
        if (total > kMaxTraceFileBytes) {
            ::close(fd);
            trace = Trace{};
            error = "Запись «" + path + "» слишком велика";
            return false;
        }
        lines.add(std::string_view(buf.data(), static_cast<std::size_t>(n)));
    }
    ::close(fd);
    if (lines.finish() == 0) trace.problems.push_back({1, "empty trace"}), ++trace.problemCount;
    return true;
}

}  // namespace m797
