#include "file_io.h"
#include "reason.h"

#include "file_lock.h"
#include "no_replace.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace framesifter {

bool SyncFolder(const std::string& folder, std::string& error) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return Fail(error, SystemError(errno));
    const bool ok = ::fsync(fd) == 0;
    if (!ok) error = SystemError(errno);
    ::close(fd);
    return ok;
}

std::string HiddenName(const std::string& name, const std::string& suffix) {
    return "." + name.substr(0, kMaxFileNameBytes - 1 - suffix.size()) + suffix;
}

namespace {
constexpr char kTemporarySuffix[] = ".tmp";

// ".<name>.<pid>-<serial>.tmp", the name cut short where the whole would be too long.
std::string TemporaryName(const std::string& name, unsigned serial) {
    return HiddenName(
        name, "." + std::to_string(::getpid()) + "-" + std::to_string(serial) + kTemporarySuffix);
}

bool AllDigits(const std::string& text, std::size_t from, std::size_t to) {
    if (from >= to) return false;
    for (std::size_t i = from; i < to; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

// A new file filled by `fill`, under a name of its own beside `path` so that a rename can
// place it; `temp` receives that name and `fd` the file, still open and locked, flushed.
bool WriteTemporary(const std::string& path, const FileFiller& fill, std::string& temp, int& fd,
                    std::string& error) {
    static std::atomic<unsigned> serial{0};
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + TemporaryName(base, serial++);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return Fail(error, SystemReason(ReasonKind::CannotCreateInFolder));
    // Held for the file's whole life: one that nobody holds is a killed writer's leftover.
    bool ok =
        TryLock(fd) != LockResult::Held || Fail(error, Reason(ReasonKind::LeftoverTaken, {temp}));
    ok = ok && fill(fd, error);
    // Flushed before the rename: after a crash the name holds the whole file or nothing.
    if (ok && ::fsync(fd) != 0) ok = Fail(error, SystemReason(ReasonKind::WriteError));
    if (ok) return true;
    if (StillNamed(fd, temp)) ::unlink(temp.c_str());
    ::close(fd);
    fd = -1;
    return false;
}

// Gives the open temporary file `temp` the name `path`, only if that name still holds the
// file written; 0 or the errno of the failure. The temporary file goes whatever happens.
int PlaceTemporary(int fd, const std::string& temp, const std::string& path, bool replace) {
    int code = EBUSY;
    if (StillNamed(fd, temp)) {
        code = replace ? (::rename(temp.c_str(), path.c_str()) == 0 ? 0 : errno)
                       : RenameNoReplace(temp, path);
        if (code != 0 && StillNamed(fd, temp)) ::unlink(temp.c_str());
    }
    ::close(fd);
    return code;
}

FileFiller BytesFiller(const void* data, std::size_t size) {
    return [data, size](int fd, std::string& error) {
        return WriteAll(fd, data, size) || Fail(error, SystemReason(ReasonKind::WriteError));
    };
}

}  // namespace

bool ReadAllBytes(const ByteSource& source, std::vector<std::uint8_t>& bytes, std::string& error) {
    if (source.size() > kMaxFrameFileBytes)
        return Fail(error, Reason(ReasonKind::FileTooLarge, {source.size()}));
    const std::size_t n = std::size_t(source.size());
    if (source.memory()) {
        bytes.assign(source.memory(), source.memory() + n);
        return true;
    }
    if (!source.view(0, n, bytes, error)) return false;
    bytes.resize(n);
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    ByteSource source;
    return source.open(path, error) && ReadAllBytes(source, bytes, error);
}

bool WriteNewFile(const std::string& path, const void* data, std::size_t size, std::string& error) {
    return WriteNewFileBy(path, BytesFiller(data, size), error);
}

bool WriteNewFileBy(const std::string& path, const FileFiller& fill, std::string& error) {
    // Checked first so that an existing name costs no write; the rename checks again.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) return Fail(error, Reason(ReasonKind::AlreadyExists));
    std::string temp;
    int fd = -1;
    if (!WriteTemporary(path, fill, temp, fd, error)) return false;
    const int code = PlaceTemporary(fd, temp, path, false);
    if (code == 0) return true;
    return Fail(error, code == EEXIST  ? Reason(ReasonKind::AlreadyExists)
                       : code == EBUSY ? Reason(ReasonKind::ReplacedWhileWritten, {temp})
                                       : Reason(ReasonKind::CannotCreate, {SystemError(code)}));
}

bool ReplaceFile(const std::string& path, const void* data, std::size_t size, std::string& error) {
    std::string temp;
    int fd = -1;
    if (!WriteTemporary(path, BytesFiller(data, size), temp, fd, error)) return false;
    const int code = PlaceTemporary(fd, temp, path, true);
    if (code == 0) return true;
    return Fail(error, code == EBUSY ? Reason(ReasonKind::ReplacedWhileWritten, {temp})
                                     : Reason(ReasonKind::CannotCreate, {SystemError(code)}));
}

bool SplitTemporaryName(const std::string& entry, std::string& stem, bool& cut) {
    const std::size_t suffix = sizeof kTemporarySuffix - 1;
    if (entry.size() <= suffix || entry[0] != '.' ||
        entry.compare(entry.size() - suffix, suffix, kTemporarySuffix) != 0)
        return false;
    const std::size_t end = entry.size() - suffix;
    const std::size_t dash = entry.rfind('-', end - 1);
    if (dash == std::string::npos || dash == 0 || !AllDigits(entry, dash + 1, end)) return false;
    const std::size_t dot = entry.rfind('.', dash - 1);
    if (dot == std::string::npos || dot == 0 || !AllDigits(entry, dot + 1, dash)) return false;
    stem = entry.substr(1, dot - 1);
    // Cut short only where the whole name would have been too long.
    cut = entry.size() == kMaxFileNameBytes;
    return true;
}

bool IsTemporaryNameOf(const std::string& entry, const std::string& name) {
    std::string stem;
    bool cut = false;
    return SplitTemporaryName(entry, stem, cut) &&
           (stem == name ||
            (cut && stem.size() < name.size() && name.compare(0, stem.size(), stem) == 0));
}

void RemoveTemporaryLeftovers(const std::string& folder, std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    // One look at the folder for all names. Among the sorted names, the first not before a
    // stem is the stem itself or, for a stem cut short, one that it begins if any does.
    std::vector<std::string> found;
    std::string stem;
    bool cut = false;
    while (const dirent* d = ::readdir(dir)) {
        if (!SplitTemporaryName(d->d_name, stem, cut)) continue;
        const auto at = std::lower_bound(names.begin(), names.end(), stem);
        if (at != names.end() && IsTemporaryNameOf(d->d_name, *at)) found.push_back(d->d_name);
    }
    ::closedir(dir);
    std::string ignored;
    for (const std::string& name : found) RemoveLeftover(folder + "/" + name, ignored);
}

}  // namespace framesifter
