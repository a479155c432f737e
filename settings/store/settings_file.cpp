#include "settings/store/settings_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

#include "app/record/write_all.h"

namespace m797 {
namespace {

constexpr const char* kUnreadableMessage =
    "Файл настроек «%s» повреждён или не читается. Настройки взяты по умолчанию; "
    "до следующего запуска изменения в этот файл не записываются.";
constexpr const char* kTemporaryPrefix = "user.reg.tmp-";

std::string folderOf(const std::string& path) {
    const std::size_t cut = path.rfind('/');
    return cut == std::string::npos ? std::string(".") : path.substr(0, cut == 0 ? 1 : cut);
}

bool makeFolders(const std::string& folder) {
    if (folder.empty() || folder == "/" || folder == ".") return true;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (!makeFolders(folderOf(folder))) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// Holds the advisory lock that serialises writers of one settings file. A
// writer holds it for milliseconds; one that keeps it longer (a stopped
// process) makes this write fail rather than freeze the window.
class WriterLock {
public:
    explicit WriterLock(const std::string& lockPath) {
        fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) return;
        constexpr int kAttempts = 200;  // 10 ms apart: two seconds
        for (int attempt = 0; ::flock(fd_, LOCK_EX | LOCK_NB) != 0; ++attempt) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || attempt == kAttempts) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
            ::usleep(10000);
        }
    }
    ~WriterLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Temporary files left by a writer that died before its rename. Only called
// with the writer lock held, so none of them belongs to a live writer.
void removeStaleTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const std::string prefix = kTemporaryPrefix;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) == 0) ::unlink((folder + '/').append(name).c_str());
    }
    ::closedir(dir);
}

}  // namespace

void applyChange(RegDocument& doc, const SettingsChange& change) {
    if (change.valueName.empty())
        doc.createKey(change.key);
    else if (change.text)
        doc.setString(change.key, change.valueName, *change.text);
    else
        doc.setDword(change.key, change.valueName, change.value);
}

SettingsFile::SettingsFile(std::string path, SettingsReporter& reporter)
    : path_(std::move(path)), reporter_(reporter) {}

std::string SettingsFile::defaultPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/m797diag/user.reg";
}

SettingsFile::ReadResult SettingsFile::readDisk(RegDocument& doc) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Unusable;
    std::string bytes;
    char buf[16384];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return ReadResult::Unusable;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (bytes.empty()) return ReadResult::Missing;  // holds nothing that a rewrite could lose
    auto parsed = RegDocument::parse(bytes);
    if (!parsed) return ReadResult::Unusable;
    doc = std::move(*parsed);
    return ReadResult::Read;
}

void SettingsFile::giveUpOnFile() {
    if (memoryOnly_) return;
    memoryOnly_ = true;
    memory_ = RegDocument();
    std::string message = kUnreadableMessage;
    message.replace(message.find("%s"), 2, path_);
    reporter_.showMessage(message);
}

RegDocument SettingsFile::current() {
    if (memoryOnly_) return memory_;
    RegDocument doc;
    if (readDisk(doc) == ReadResult::Unusable) {
        giveUpOnFile();
        return memory_;
    }
    for (const RegSection& s : unsaved_.sections()) {
        doc.createKey(s.path);
        for (const RegValue& v : s.values)
            if (const auto d = classifyRegData(v.data)) doc.setDword(s.path, v.name, d->dword);
    }
    return doc;
}

bool SettingsFile::commit(const std::vector<SettingsChange>& changes) {
    if (changes.empty()) return true;
    const bool written = !memoryOnly_ && writeLocked(changes);
    if (memoryOnly_) {
        for (const SettingsChange& c : changes) applyChange(memory_, c);
        return true;
    }
    for (const SettingsChange& c : changes) {
        if (!written)
            applyChange(unsaved_, c);
        else if (!c.valueName.empty())
            unsaved_.eraseValue(c.key, c.valueName);
    }
    return written;
}

// The file as it is now, the changes, one write; false when the changes did
// not reach the disk. A file found unusable is given up on instead.
bool SettingsFile::writeLocked(const std::vector<SettingsChange>& changes) {
    const std::string folder = folderOf(path_);
    if (!makeFolders(folder)) return false;
    WriterLock lock(path_ + ".lock");
    if (!lock.held()) return false;
    RegDocument doc;
    if (readDisk(doc) == ReadResult::Unusable) {
        giveUpOnFile();
        return false;
    }
    for (const SettingsChange& c : changes) applyChange(doc, c);
    if (!writeAtomically(doc.serialise())) return false;
    removeStaleTemporaries(folder);
    return true;
}

bool SettingsFile::writeAtomically(const std::string& contents) {
    const std::string folder = folderOf(path_);
    std::string temporary = folder + '/' + kTemporaryPrefix + "XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const std::size_t half = contents.size() / 2;
    bool ok = writeAll(fd, contents.data(), half) == half;
    if (ok && saveStageHook) saveStageHook(SaveStage::TemporaryHalfWritten);
    ok = ok && writeAll(fd, contents.data() + half, contents.size() - half) == contents.size() - half;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && saveStageHook) saveStageHook(SaveStage::BeforeRename);
    ok = ok && ::rename(temporary.c_str(), path_.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself is durable only once the folder is flushed.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace m797
