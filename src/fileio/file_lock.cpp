#include "file_lock.h"
#include "reason.h"

#include "system_calls.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace framesifter {

LockResult TryLock(int fd) {
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        return errno == EWOULDBLOCK ? LockResult::Held : LockResult::Unsupported;
    }
    return LockResult::Taken;
}

bool StillNamed(int fd, const std::string& path) {
    struct stat open {
    }, named{};
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

Leftover RemoveLeftover(const std::string& path, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return Leftover::None;
        error = SystemReason(ReasonKind::CannotExaminePath, {path});
        return Leftover::Kept;
    }
    if (S_ISLNK(st.st_mode)) {
        if (::unlink(path.c_str()) == 0 || errno == ENOENT) return Leftover::Removed;
        error = SystemReason(ReasonKind::CannotRemovePath, {path});
        return Leftover::Kept;
    }
    if (!S_ISREG(st.st_mode)) {
        error = Reason(ReasonKind::NotAFile, {path});
        return Leftover::Kept;
    }
    // Opened for writing: some network file systems lock only files open that way.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return Leftover::None;
        error = SystemReason(ReasonKind::CannotOpenPath, {path});
        return Leftover::Kept;
    }
    Leftover result = Leftover::Kept;
    switch (TryLock(fd)) {
    case LockResult::Held:
        result = Leftover::InUse;
        break;
    case LockResult::Unsupported:
        error = SystemReason(ReasonKind::CannotTellIfWritten, {path});
        break;
    case LockResult::Taken:
        // Under the lock no cooperating writer can place or remove it: what the name holds
        // now is what was found unheld.
        if (!StillNamed(fd, path))
            result = ::lstat(path.c_str(), &st) != 0 && errno == ENOENT ? Leftover::None
                                                                        : Leftover::InUse;
        else if (::unlink(path.c_str()) == 0)
            result = Leftover::Removed;
        else
            error = SystemReason(ReasonKind::CannotRemovePath, {path});
        break;
    }
    ::close(fd);
    return result;
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

LockResult FolderLock::take(const std::string& folder, std::string& error) {
    if (fd_ >= 0) return LockResult::Taken;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = SystemReason(ReasonKind::CannotOpenPath, {folder});

        return LockResult::Unsupported;
    }
    const LockResult result = TryLock(fd);
    if (result == LockResult::Taken)
        fd_ = fd;
    else
        ::close(fd);
    return result;
}

}  // namespace framesifter
