#include "checked_move.h"
#include "reason.h"

#include "file_io.h"
#include "file_lock.h"
#include "no_replace.h"
#include "path_parts.h"
#include "same_entry.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace framesifter {

const std::string kMoveStoppedError = Reason(ReasonKind::MoveStopped);

namespace {

// Not a frame extension, so no frame list can hold the name of a partial copy.
constexpr char kPartialSuffix[] = ".framesifter-part";

bool Stopping(const MoveControl& control) { return control.stop && control.stop->load(); }

bool SameContents(int a, int b) {
    std::vector<char> ba(1 << 16), bb(1 << 16);
    for (off_t offset = 0;; offset += off_t(ba.size())) {
        std::size_t na = 0, nb = 0;
        if (!ReadAt(a, ba.data(), ba.size(), std::uint64_t(offset), na) ||
            !ReadAt(b, bb.data(), bb.size(), std::uint64_t(offset), nb))
            return false;
        if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0) return false;
        if (na < ba.size()) return true;
    }
}

// A partial copy that no live move holds is a killed move's: cleared before copying again.
// One that a live move holds, or that cannot be told, is left, and this copy does not start.
bool ClearPart(const std::string& partial, std::string& error) {
    std::string why;
    switch (RemoveLeftover(partial, why)) {
    case Leftover::None:
    case Leftover::Removed:
        return true;
    case Leftover::InUse:
        return Fail(error, Reason(ReasonKind::PartInUse, {partial}));
    case Leftover::Kept:
        break;
    }
    return Fail(error, why);
}

// The name of a missing file or of its missing folder, for a rename's ENOENT.
std::string WhatIsGone(const std::string& from, const std::string& to) {
    struct stat st {};
    if (lstat(from.c_str(), &st) != 0) return Reason(ReasonKind::NoLongerExists);
    std::string folder, name;
    SplitFolderAndName(to, folder, name);
    return Reason(ReasonKind::FolderGone, {folder});
}

// The complete copy under its temporary name becomes the frame, durably, and then the
// source goes. Any failure leaves the source as the only copy. `written` is what this move
// wrote (its device and inode): only that is renamed into place, never what another process
// may have put under the same temporary name.
bool PlaceThenRemoveSource(const std::string& source, const std::string& partial,
                           const struct stat& written, const std::string& target,
                           const std::string& good, std::string& error) {
    struct stat now {};
    if (lstat(partial.c_str(), &now) != 0 || now.st_dev != written.st_dev ||
        now.st_ino != written.st_ino)
        return Fail(error, Reason(ReasonKind::ReplacedWhileWritten, {partial}));
    const int code = RenameNoReplace(partial, target);
    if (code != 0) {
        unlink(partial.c_str());
        error = code == EEXIST || code == ENOTEMPTY
                    ? Reason(ReasonKind::TargetExists, {target})
                    : Reason(ReasonKind::CannotPlaceCopy, {target, SystemError(code)});
        return false;
    }
    std::string why;
    if (!SyncFolder(good, why)) {
        unlink(target.c_str());
        error = Reason(ReasonKind::CannotFlushFolder, {good, why});
        return false;
    }
    if (unlink(source.c_str()) != 0) {
        // The copy is complete and verified, but the original stays: remove the copy so
        // the frame still exists exactly once.
        const int failed = errno;
        unlink(target.c_str());
        error = Reason(ReasonKind::CannotRemoveFromFolder, {SystemError(failed)});
        return false;
    }
    return true;
}

// The part file, cleared of a killed move's leftover, created and locked: held until the
// copy has its name or is gone, since a part file nobody holds is a leftover. -1 on failure.
int CreatePart(const std::string& partial, std::string& error) {
    if (!ClearPart(partial, error)) return -1;
    const int out = open(partial.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        error = SystemReason(ReasonKind::CannotCreatePath, {partial});
        return -1;
    }
    if (TryLock(out) == LockResult::Held) {
        close(out);
        Fail(error, Reason(ReasonKind::PartTaken, {partial}));
        return -1;
    }
    return out;
}

// All of `in` into `out`, block by block; a stop is seen after each block. False with errno's
// `code` on a read or write error.
bool CopyBlocks(int in, int out, const MoveControl& control, int& code) {
    std::vector<char> buffer(1 << 16);
    std::uint64_t copied = 0;
    for (;;) {
        std::size_t n = 0;
        if (!ReadAt(in, buffer.data(), buffer.size(), copied, n)) {
            code = errno;
            return false;
        }
        if (n == 0) return true;
        if (!WriteAll(out, buffer.data(), n)) {
            code = errno;
            return false;
        }
        copied += std::uint64_t(n);
        if (control.blockCopied) control.blockCopied(copied);
        if (Stopping(control)) return true;
    }
}

// The copy on the disk, checked against the source, then given its permissions and times.
bool SealCopy(int in, int out, const struct stat& st, int& code) {
    if (fsync(out) != 0) {
        code = errno;
        return false;
    }
    if (!SameContents(in, out)) {
        code = EIO;
        return false;
    }
    // Times last: reading the copy back may touch its access time. For a capture the
    // modification time is when it was taken.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (fchmod(out, st.st_mode & 07777) != 0 || futimens(out, times) != 0 || fsync(out) != 0) {
        code = errno;
        return false;
    }
    return true;
}

bool CopyThenRemove(const std::string& source, const std::string& target, const std::string& good,
                    const std::string& partial, const MoveControl& control, std::string& error) {
    const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (in < 0) {
        error = SystemReason(ReasonKind::CannotReadIt);
        return false;
    }
    struct stat st {};
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return Fail(error, Reason(ReasonKind::ItNotRegular));
    }
    const int out = CreatePart(partial, error);
    if (out < 0) {
        close(in);
        return false;
    }
    int code = 0;
    bool ok = CopyBlocks(in, out, control, code);
    const bool stopped = ok && Stopping(control);
    ok = ok && !stopped && SealCopy(in, out, st, code);
    struct stat written {};
    fstat(out, &written);
    close(in);
    if (!ok) {
        if (StillNamed(out, partial)) unlink(partial.c_str());
        close(out);
        error = stopped ? kMoveStoppedError
                        : Reason(ReasonKind::CopyFailed, {target, SystemError(code)});
        return false;
    }
    const bool placed = PlaceThenRemoveSource(source, partial, written, target, good, error);
    close(out);  // the lock goes with it, once the copy has its name
    return placed;
}

// As mv does: the link itself moves, with the same text, wherever it then points.
bool CopyLinkThenRemove(const std::string& source, const std::string& target,
                        const std::string& good, const std::string& partial, std::string& error) {
    struct stat st {};
    if (lstat(source.c_str(), &st) != 0) {
        error = SystemReason(ReasonKind::CannotReadIt);
        return false;
    }
    std::vector<char> text(std::size_t(st.st_size) + 2);
    for (;;) {
        const ssize_t n = readlink(source.c_str(), text.data(), text.size());
        if (n < 0) {
            error = SystemReason(ReasonKind::CannotReadLink);
            return false;
        }
        if (std::size_t(n) < text.size()) {
            text.resize(std::size_t(n));
            break;
        }
        text.resize(text.size() * 2);
    }
    if (!ClearPart(partial, error)) return false;
    if (symlink(std::string(text.begin(), text.end()).c_str(), partial.c_str()) != 0) {
        error = SystemReason(ReasonKind::CannotCreatePath, {partial});
        return false;
    }
    // A link cannot be locked; it is created whole, and its inode tells it from another's.
    struct stat written {};
    if (lstat(partial.c_str(), &written) != 0)
        return Fail(error, Reason(ReasonKind::ReplacedWhileWritten, {partial}));
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, partial.c_str(), times, AT_SYMLINK_NOFOLLOW);
    return PlaceThenRemoveSource(source, partial, written, target, good, error);
}

// A move whose copy was placed in Good but whose source a kill kept: when the record names the
// file and both hold the same bytes, removing the source completes it.
bool CompleteMove(const std::string& source, const std::string& target, std::string& error) {
    const DuplicateRemoval removal = RemoveDuplicate(source, target);
    switch (removal.state) {
    case Duplicate::Removed:
        return true;
    case Duplicate::Differs:
        return Fail(error, Reason(ReasonKind::TargetExists, {target}));
    case Duplicate::Failed:
        break;
    }
    return Fail(error, removal.error);
}

bool MoveNoReplace(const std::string& source, const std::string& target, bool isLink,
                   const MoveControl& control, bool recorded, std::string& error) {
    const int code = RenameNoReplace(source, target);
    if (code == 0) return true;
    struct stat st {};
    const bool taken =
        code == EEXIST || code == ENOTEMPTY || (code == EXDEV && lstat(target.c_str(), &st) == 0);
    if (taken) {
        if (recorded) return CompleteMove(source, target, error);
        error = Reason(ReasonKind::TargetExists, {target});
        return false;
    }
    if (code == EXDEV) {
        std::string good, name;
        SplitFolderAndName(target, good, name);
        const std::string partial = good + "/" + PartialCopyName(name);
        return isLink ? CopyLinkThenRemove(source, target, good, partial, error)
                      : CopyThenRemove(source, target, good, partial, control, error);
    }
    error = code == ENOENT ? WhatIsGone(source, target) : SystemError(code);
    return false;
}

DuplicateRemoval Differs(DuplicateRemoval& result) {
    result.state = Duplicate::Differs;
    return result;
}

bool LinkText(const std::string& path, std::string& text, std::string& error) {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) return Fail(error, SystemReason(ReasonKind::CannotReadLinkPath, {path}));
        if (std::size_t(n) < buffer.size()) {
            text.assign(buffer.data(), std::size_t(n));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string PartialCopyName(const std::string& name) { return HiddenName(name, kPartialSuffix); }

DuplicateRemoval RemoveDuplicate(const std::string& duplicate, const std::string& kept) {
    DuplicateRemoval result;
    std::string& error = result.error;
    struct stat a {
    }, b{};
    if (lstat(duplicate.c_str(), &a) != 0 || lstat(kept.c_str(), &b) != 0) {
        error = SystemReason(ReasonKind::CannotCompare, {duplicate, kept});
        return result;
    }
    // One directory entry reached by two paths is no duplicate: removing it loses it.
    if (FindRepeatedEntry({{duplicate, 0}, {kept, 0}}).first >= 0) return Differs(result);
    if (S_ISLNK(a.st_mode) && S_ISLNK(b.st_mode)) {
        std::string ta, tb;
        if (!LinkText(duplicate, ta, error) || !LinkText(kept, tb, error)) return result;
        struct stat now {};
        if (ta != tb || lstat(duplicate.c_str(), &now) != 0 || now.st_ino != a.st_ino ||
            now.st_dev != a.st_dev)
            return Differs(result);
    } else {
        if (!S_ISREG(a.st_mode) || !S_ISREG(b.st_mode) || a.st_size != b.st_size)
            return Differs(result);
        const int fa = open(duplicate.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        const int fb = open(kept.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat oa {
        }, ob{};
        const bool same = fa >= 0 && fb >= 0 && fstat(fa, &oa) == 0 && fstat(fb, &ob) == 0 &&
                          S_ISREG(oa.st_mode) && S_ISREG(ob.st_mode) && SameContents(fa, fb) &&
                          StillNamed(fa, duplicate) && StillNamed(fb, kept);
        if (fa >= 0) close(fa);
        if (fb >= 0) close(fb);
        if (!same) return Differs(result);
    }
    if (unlink(duplicate.c_str()) != 0) {
        error = SystemReason(ReasonKind::CannotRemovePath, {duplicate});
        return result;
    }
    result.state = Duplicate::Removed;
    return result;
}

bool MoveNoReplacing(const std::string& from, const std::string& to, std::string& error) {
    return MoveNoReplacing(from, to, MoveControl(), false, error);
}

bool MoveNoReplacing(const std::string& from, const std::string& to, const MoveControl& control,
                     bool recorded, std::string& error) {
    struct stat st {};
    if (lstat(from.c_str(), &st) != 0) {
        error = errno == ENOENT ? Reason(ReasonKind::NoLongerExists) : SystemError(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        error = Reason(ReasonKind::ItNotRegular);

        return false;
    }
    return MoveNoReplace(from, to, S_ISLNK(st.st_mode), control, recorded, error);
}

}  // namespace framesifter
