#include "app/shell/csv_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "app/record/live_record.h"
#include "app/record/write_all.h"
#include "app/shell/csv_units.h"
#include "display/catalogue/catalogue.h"
#include "display/catalogue/chart_texts.h"
#include "ecu/line_clock.h"
#include "ecu/trace_writer.h"
#include "ecu/value_text.h"
#include "ecu/wall_time.h"

namespace m797 {
namespace {

// Rows waiting beyond this (about an hour of polling) mean the disk has
// stopped keeping up with a live line; memory is not spent on them.
constexpr std::size_t kMaxWaitingRows = 20000;

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

// Counters and the error count as the charts show them: decimal integers.
std::string cell(const CatalogueEntry& entry, const CsvRowValues& values) {
    const SlotRef slot = slotOf(entry.number);
    switch (entry.kind) {
    case DisplayKind::Analog: return withDecimalPoint(values.analogText[slot.index]);
    case DisplayKind::Flag: return std::to_string(values.flagState[slot.index]);
    case DisplayKind::BitString: return "0x" + hexByte(values.statusByte[entry.statusByteIndex]);
    case DisplayKind::Checksum: return "0x" + hexByte(values.extraByte[0]) + hexByte(values.extraByte[1]);
    case DisplayKind::Counter: return std::to_string(values.count[slot.index]);
    case DisplayKind::ErrorCount: return std::to_string(values.errorCount);
    case DisplayKind::Reserved: break;
    }
    return {};
}

std::string failure(const std::string& path, int error) {
    return "Невозможно записать журнал «" + path + "»: " + std::strerror(error);
}

std::string columnName(const CatalogueEntry& entry) {
    const char* unit = csvUnit(entry.number);
    return unit ? entry.mnemonic + " [" + unit + "]" : entry.mnemonic;
}

// Seconds with three decimals from microseconds, the half millisecond rounded up.
std::string secondsText(std::int64_t us) {
    const bool negative = us < 0;
    const std::int64_t ms = ((negative ? -us : us) + 500) / 1000;
    std::string frac = std::to_string(ms % 1000);
    return (negative ? "-" : "") + std::to_string(ms / 1000) + "." + std::string(3 - frac.size(), '0') + frac;
}

bool isRegularFile(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

bool isEmptyFile(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && info.st_size == 0;
}

}  // namespace

CsvRowValues CsvRowValues::of(const RecordLock& held) {
    const LiveRecord& record = held.record();
    CsvRowValues v;
    for (int i = 0; i < kAnalogSlots; ++i) v.analogText[i] = record.analog[i].text;
    for (int i = 0; i < kFlagSlots; ++i) v.flagState[i] = record.flag[i].state;
    for (int i = 0; i < kCounterSlots; ++i) v.count[i] = record.counter[i].count;
    for (int i = 0; i < 4; ++i) v.statusByte[i] = record.statusByte[i].value;
    v.extraByte = {record.extraByte[0], record.extraByte[1]};
    v.errorCount = record.errorCount;
    return v;
}

CsvLog::CsvLog() = default;
CsvLog::~CsvLog() { close(); }

// The writer ends first: every row handed over is written before the file closes.
void CsvLog::close() {
    if (writer_) {
        writer_->flush();  // a write that fails now still counts its rows
        lostRows_ = writer_->lost();
    }
    writer_.reset();
    closeFile();
}

void CsvLog::closeFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void CsvLog::setFailureHandler(std::function<void(const std::string&)> handler) {
    onFailure_ = std::move(handler);
}

void CsvLog::flush() {
    if (!writer_) return;
    writer_->flush();
    lostRows_ = writer_->lost();
}

void CsvLog::waitForRoom(const std::function<bool()>& giveUp) {
    if (writer_) writer_->waitForRoom(giveUp);
}

void CsvLog::letSourceWait(bool canWait) {
    sourceCanWait_ = canWait;
    if (writer_) writer_->setWhenFull(canWait ? RowWriter::WhenFull::Wait : RowWriter::WhenFull::Drop);
}

// On the writer's thread.
void CsvLog::rowFailed(const RowWriter::Failure& failure) {
    if (failure.behind)
        error_ = "Журнал «" + path_ + "» остановлен: диск не успевал записывать строки, потеряно строк: " +
                 std::to_string(failure.lost);
    if (onFailure_) onFailure_(error_);
}

// On the writer's thread: each row with a write of its own.
std::size_t CsvLog::writeRows(std::vector<std::pair<CsvRowValues, RowTime>>& rows) {
    std::size_t written = 0;
    while (written < rows.size() && fd_ >= 0 && writeAll(formatRow(rows[written].first, rows[written].second)))
        ++written;
    return written;
}

std::string CsvLog::open(const std::string& path) {
    close();
    error_.clear();
    notice_.clear();
    lostRows_ = 0;
    path_ = path;
    if (path.empty()) {
        error_ = failure(path, ENOENT);
        return error_;
    }
    for (int n = 1; n < 1000; ++n) {
        const std::string candidate = n == 1 ? path : numberedName(path, n);
        const Fit fit = openCandidate(candidate);
        if (fit == Fit::Failed) return error_;
        if (fit == Fit::Taken) continue;
        path_ = candidate;
        if (!writeAll(headerRow())) return error_;
        if (n > 1) notice_ = takenNameNotice(path, candidate);
        openedAt_ = std::chrono::steady_clock::now();
        openedWallUs_ = wallClockNowUs();
        writer_ = std::make_unique<RowWriter>(
            kMaxWaitingRows, sourceCanWait_ ? RowWriter::WhenFull::Wait : RowWriter::WhenFull::Drop,
            [this](std::vector<std::pair<CsvRowValues, RowTime>>& rows) { return writeRows(rows); },
            [this](const RowWriter::Failure& failure) { rowFailed(failure); });
        return {};
    }
    error_ = failure(path, EEXIST);
    return error_;
}

// New: created here, or an empty file, a device or a pipe, which take the
// header and the rows. Taken: a file with something in it (or one that cannot
// be told apart), left alone.
CsvLog::Fit CsvLog::openCandidate(const std::string& candidate) {
    int fd = ::open(candidate.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
        struct stat info {};
        if (stat(candidate.c_str(), &info) != 0 || (S_ISREG(info.st_mode) && info.st_size > 0)) return Fit::Taken;
        fd = ::open(candidate.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        // Emptied or filled since it was looked at: another name is safer.
        if (fd >= 0 && isRegularFile(fd) && !isEmptyFile(fd)) {
            ::close(fd);
            return Fit::Taken;
        }
    }
    if (fd < 0) {
        error_ = failure(candidate, errno);
        return Fit::Failed;
    }
    fd_ = fd;
    return Fit::New;
}

// The time is taken now, with the values: the row says when they arrived.
bool CsvLog::logCycle(const RecordLock& held, bool gotLiveData) {
    if (!writer_) return true;
    if (!gotLiveData) return !writer_->failed();
    RowTime time;
    if (clock_ == nullptr) {
        time = rowTime(secondsSinceOpen());
    } else {
        const std::int64_t since = clock_->lastExchangeEndUs();
        time = RowTime{since, clock_->startWallUs() + since};
    }
    writer_->post({CsvRowValues::of(held), time});  // counted as lost once the log stopped
    return !writer_->failed();
}

bool CsvLog::writeRow(const RecordLock& held, double secondsSinceStart) {
    return writeRow(held, rowTime(secondsSinceStart));
}

bool CsvLog::writeRow(const RecordLock& held, RowTime time) {
    flush();  // after the rows of logCycle
    if (fd_ < 0) return false;
    return writeAll(formatRow(held, time));
}

RowTime CsvLog::rowTime(double secondsSinceStart) const {
    const auto us = static_cast<std::int64_t>(std::llround(secondsSinceStart * 1e6));
    return {us, openedWallUs_ + us};
}

double CsvLog::secondsSinceOpen() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - openedAt_).count();
}

// A row that cannot be written whole (a full disk) is taken back, so the
// file ends after the last whole row.
bool CsvLog::writeAll(const std::string& bytes) {
    struct stat before {};
    const bool regular = fstat(fd_, &before) == 0 && S_ISREG(before.st_mode);
    const std::size_t done = m797::writeAll(fd_, bytes.data(), bytes.size());
    if (done == bytes.size()) return true;
    error_ = failure(path_, errno);
    if (done > 0 && regular && ftruncate(fd_, before.st_size) != 0) error_ += " (a part row remains)";
    closeFile();  // also on the writer's thread, which close() would join
    return false;
}

std::string CsvLog::headerRow() {
    std::string row = "time_s,time";
    for (int n = 1; n <= kParameterCount; ++n) {
        const CatalogueEntry& entry = *catalogueEntry(n);
        if (!hasColumn(entry)) continue;
        row += ',';
        appendField(row, columnName(entry));
    }
    row += '\n';
    return row;
}

std::string CsvLog::formatRow(const RecordLock& held, double secondsSinceStart) {
    const auto us = static_cast<std::int64_t>(std::llround(secondsSinceStart * 1e6));
    return formatRow(held, RowTime{us, us});
}

std::string CsvLog::formatRow(const RecordLock& held, RowTime time) {
    return formatRow(CsvRowValues::of(held), time);
}

std::string CsvLog::formatRow(const CsvRowValues& values, RowTime time) {
    std::string row;
    row.reserve(512);
    row += secondsText(time.sinceStartUs);
    row += ',';
    row += isoUtc(time.wallUs, 3);
    for (int n = 1; n <= kParameterCount; ++n) {
        const CatalogueEntry& entry = *catalogueEntry(n);
        if (!hasColumn(entry)) continue;
        row += ',';
        appendField(row, cell(entry, values));
    }
    row += '\n';
    return row;
}

}  // namespace m797
