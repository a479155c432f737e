#include "app/csv_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/live_record.h"
#include "display/catalogue.h"
#include "display/chart_texts.h"
#include "ecu/value_text.h"

namespace m797 {
namespace {

bool hasColumn(const CatalogueEntry& entry) { return entry.kind != DisplayKind::Reserved; }

// RFC 4180: a field with a comma, a quote or a line break is quoted, quotes doubled.
void appendField(std::string& row, const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        row += field;
        return;
    }
    row += '"';
    for (char c : field) {
        if (c == '"') row += '"';
        row += c;
    }
    row += '"';
}

// Value texts carry the locale's decimal separator; the log always uses ".".
std::string withDecimalPoint(const Text& valueText) {
    std::string out = valueText;
    for (char& c : out) {
        const bool keep = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '-';
        if (!keep) c = '.';
    }
    return out;
}

std::string cell(const CatalogueEntry& entry, const LiveRecord& record) {
    const SlotRef slot = slotOf(entry.number);
    switch (entry.kind) {
        case DisplayKind::Analog: return withDecimalPoint(record.analog[slot.index].text);
        case DisplayKind::Flag: return std::to_string(record.flag[slot.index].state);
        case DisplayKind::Counter:
        case DisplayKind::BitString:
        case DisplayKind::Checksum:
        case DisplayKind::ErrorCount: return chartValueText(entry.number, record);
        case DisplayKind::Reserved: break;
    }
    return {};
}

std::string failure(const std::string& path, int error) {
    return "Невозможно записать журнал «" + path + "»: " + std::strerror(error);
}

// True when the file is non-empty and its last byte is not a line end (a row
// cut short by a killed program); unknown (unreadable) counts as false.
bool endsMidLine(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) return false;
    char last = '\n';
    if (pread(fd, &last, 1, info.st_size - 1) != 1) return false;
    return last != '\n';
}

}  // namespace

CsvLog::~CsvLog() { close(); }

void CsvLog::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::string CsvLog::open(const std::string& path) {
    close();
    error_.clear();
    path_ = path;
    if (path.empty()) {
        error_ = failure(path, ENOENT);
        return error_;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error_ = failure(path, errno);
        return error_;
    }
    fd_ = fd;
    std::string start = endsMidLine(fd_) ? "\n" : "";
    start += headerRow();
    if (!writeAll(start)) return error_;
    openedAt_ = std::chrono::steady_clock::now();
    return {};
}

bool CsvLog::logCycle(const LiveRecord& record, bool gotLiveData) {
    if (!gotLiveData || !isOpen()) return true;
    return writeRow(record, secondsSinceOpen());
}

bool CsvLog::writeRow(const LiveRecord& record, double secondsSinceStart) {
    if (fd_ < 0) return false;
    return writeAll(formatRow(record, secondsSinceStart));
}

double CsvLog::secondsSinceOpen() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - openedAt_).count();
}

// A row that cannot be written whole (a full disk) is taken back, so the
// file ends after the last whole row.
bool CsvLog::writeAll(const std::string& bytes) {
    struct stat before {};
    const bool regular = fstat(fd_, &before) == 0 && S_ISREG(before.st_mode);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error_ = failure(path_, n < 0 ? errno : EIO);
            if (done > 0 && regular && ftruncate(fd_, before.st_size) != 0) error_ += " (a part row remains)";
            close();
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string CsvLog::headerRow() {
    std::string row = "time_s";
    for (int n = 1; n <= kParameterCount; ++n) {
        const CatalogueEntry& entry = *catalogueEntry(n);
        if (!hasColumn(entry)) continue;
        row += ',';
        appendField(row, entry.mnemonic);
    }
    row += '\n';
    return row;
}

std::string CsvLog::formatRow(const LiveRecord& record, double secondsSinceStart) {
    std::string row;
    row.reserve(512);
    row += formatFixed(secondsSinceStart, 3, '.');
    for (int n = 1; n <= kParameterCount; ++n) {
        const CatalogueEntry& entry = *catalogueEntry(n);
        if (!hasColumn(entry)) continue;
        row += ',';
        appendField(row, cell(entry, record));
    }
    row += '\n';
    return row;
}

}  // namespace m797
