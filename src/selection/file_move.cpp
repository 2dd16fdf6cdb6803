#include "file_move.h"

#include "file_io.h"
#include "file_lock.h"
#include "frame_formats.h"
#include "frame_ref.h"
#include "move_journal.h"
#include "no_replace.h"
#include "path_parts.h"
#include "same_entry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace framesifter {

namespace {

CopyProgressHook g_copyHook = nullptr;

// Not a frame extension, so no frame list can hold the name of a partial copy.
constexpr char kPartialSuffix[] = ".framesifter-part";
constexpr char kStoppedError[] = "the move was stopped; it stayed where it was";
constexpr char kReplacedPart[] = "\" was replaced while it was written";

bool Stopping(const std::atomic<bool>* stop) { return stop && stop->load(); }

bool EnsureGoodFolder(const std::string& good, std::string& error) {
    struct stat st {};
    if (stat(good.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        error = "\"" + good + "\" exists but is not a folder";
        return false;
    }
    if (mkdir(good.c_str(), 0777) == 0 || errno == EEXIST) {
        if (stat(good.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    }
    error = "cannot create the folder \"" + good + "\": " + SystemError(errno);
    return false;
}

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

bool SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
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
        return Fail(error, "another move is copying it into \"" + partial + "\" now");
    case Leftover::Kept:
        break;
    }
    return Fail(error, why);
}

// The name of a missing file or of its missing folder, for a rename's ENOENT.
std::string WhatIsGone(const std::string& from, const std::string& to) {
    struct stat st {};
    if (lstat(from.c_str(), &st) != 0) return "it no longer exists";
    std::string folder, name;
    SplitFolderAndName(to, folder, name);
    return "the folder \"" + folder + "\" no longer exists; it stays where it is";
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
        return Fail(error, "\"" + partial + kReplacedPart);
    const int code = RenameNoReplace(partial, target);
    if (code != 0) {
        unlink(partial.c_str());
        error = code == EEXIST || code == ENOTEMPTY
                    ? "\"" + target + "\" already exists"
                    : "cannot place the copy as \"" + target + "\": " + SystemError(code);
        return false;
    }
    if (!SyncFolder(good)) {
        const int failed = errno;
        unlink(target.c_str());
        error = "cannot flush the folder \"" + good + "\": " + SystemError(failed);
        return false;
    }
    if (unlink(source.c_str()) != 0) {
        // The copy is complete and verified, but the original stays: remove the copy so
        // the frame still exists exactly once.
        const int failed = errno;
        unlink(target.c_str());
        error = "cannot remove it from its folder: " + SystemError(failed);
        return false;
    }
    return true;
}

bool CopyThenRemove(const std::string& source, const std::string& target, const std::string& good,
                    const std::string& partial, const std::atomic<bool>* stop, std::string& error) {
    const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (in < 0) {
        error = "cannot read it: " + SystemError(errno);
        return false;
    }
    struct stat st {};
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return Fail(error, "it is not a regular file");
    }
    if (!ClearPart(partial, error)) {
        close(in);
        return false;
    }
    const int out = open(partial.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        const int code = errno;
        close(in);
        error = "cannot create \"" + partial + "\": " + SystemError(code);
        return false;
    }
    // Held until the copy has its name or is gone: a part file nobody holds is a leftover.
    if (TryLock(out) == LockResult::Held) {
        close(out);
        close(in);
        return Fail(error, "another move took \"" + partial + "\" as a leftover");
    }
    std::vector<char> buffer(1 << 16);
    std::uint64_t copied = 0;
    bool ok = true;
    int code = 0;
    for (;;) {
        std::size_t n = 0;
        if (!ReadAt(in, buffer.data(), buffer.size(), copied, n)) {
            ok = false;
            code = errno;
            break;
        }
        if (n == 0) break;
        if (!WriteAll(out, buffer.data(), n)) {
            ok = false;
            code = errno;
            break;
        }
        copied += std::uint64_t(n);
        if (g_copyHook) g_copyHook(copied);
        if (Stopping(stop)) break;
    }
    const bool stopped = ok && Stopping(stop);
    ok = ok && !stopped;
    if (ok && fsync(out) != 0) {
        ok = false;
        code = errno;
    }
    if (ok && !SameContents(in, out)) {
        ok = false;
        code = EIO;
    }
    // Times last: reading the copy back may touch its access time. For a capture the
    // modification time is when it was taken.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (ok &&
        (fchmod(out, st.st_mode & 07777) != 0 || futimens(out, times) != 0 || fsync(out) != 0)) {
        ok = false;
        code = errno;
    }
    struct stat written {};
    fstat(out, &written);
    close(in);
    if (!ok) {
        if (StillNamed(out, partial)) unlink(partial.c_str());
        close(out);
        error = stopped ? kStoppedError
                        : "copying it into \"" + target + "\" failed: " + SystemError(code);
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
        error = "cannot read it: " + SystemError(errno);
        return false;
    }
    std::vector<char> text(std::size_t(st.st_size) + 2);
    for (;;) {
        const ssize_t n = readlink(source.c_str(), text.data(), text.size());
        if (n < 0) {
            error = "cannot read the link: " + SystemError(errno);
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
        error = "cannot create \"" + partial + "\": " + SystemError(errno);
        return false;
    }
    // A link cannot be locked; it is created whole, and its inode tells it from another's.
    struct stat written {};
    if (lstat(partial.c_str(), &written) != 0) return Fail(error, "\"" + partial + kReplacedPart);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, partial.c_str(), times, AT_SYMLINK_NOFOLLOW);
    return PlaceThenRemoveSource(source, partial, written, target, good, error);
}

// A move whose copy was placed in Good but whose source a kill kept: when the record names the
// file and both hold the same bytes, removing the source completes it.
bool CompleteMove(const std::string& source, const std::string& target, std::string& error) {
    switch (RemoveDuplicate(source, target, error)) {
    case Duplicate::Removed:
        return true;
    case Duplicate::Differs:
        error = "\"" + target + "\" already exists";
        return false;
    case Duplicate::Failed:
        break;
    }
    return false;
}

bool MoveNoReplace(const std::string& source, const std::string& target, const std::string& good,
                   const std::string& name, bool isLink, const std::atomic<bool>* stop,
                   bool recorded, std::string& error) {
    const int code = RenameNoReplace(source, target);
    if (code == 0) return true;
    struct stat st {};
    const bool taken =
        code == EEXIST || code == ENOTEMPTY || (code == EXDEV && lstat(target.c_str(), &st) == 0);
    if (taken) {
        if (recorded) return CompleteMove(source, target, error);
        error = "\"" + target + "\" already exists";
        return false;
    }
    if (code == EXDEV) {
        const std::string partial = good + "/" + PartialCopyName(name);
        return isLink ? CopyLinkThenRemove(source, target, good, partial, error)
                      : CopyThenRemove(source, target, good, partial, stop, error);
    }
    error = code == ENOENT ? WhatIsGone(source, target) : SystemError(code);
    return false;
}

// The passed frames of one video become a new video Good/<name> beside it, in frame order;
// the video itself stays as it is. entries[i] is frame frames[i] (from 1) of `video`, and
// its outcome names the frame's place in the new video.
void WriteVideoToGood(const std::string& video, const std::vector<std::size_t>& entries,
                      const std::vector<int>& frames, std::vector<MoveOutcome>& outcomes,
                      MoveRecord* record) {
    std::string folder, name;
    SplitFolderAndName(video, folder, name);
    const std::string good = GoodFolderOf(video);
    const std::string target = good + "/" + name;
    std::vector<int> indices;
    for (int frame : frames) indices.push_back(frame - 1);
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());

    std::string error;
    bool folderFault = false;
    bool written = false;
    ByteSource source;
    const FrameFormatRow& format = FormatRow(FrameFormatOf(video));
    int frameCount = 0;
    FrameSignature signature;
    struct stat st {};
    if (::lstat(video.c_str(), &st) != 0) {
        error = errno == ENOENT ? "it no longer exists" : SystemError(errno);
    } else if (source.open(video, error) &&
               format.readVideo(source, frameCount, signature, error)) {
        if (!EnsureGoodFolder(good, error)) {
            folderFault = true;
        } else if (::lstat(target.c_str(), &st) == 0) {
            error = "\"" + target + "\" already exists";
        } else {
            // What a killed writing of this video left, once no live writer holds it.
            RemoveTemporaryLeftovers(good, {name});
            written = format.writeFrames(source, indices, target, error);
            if (!written && error == "already exists") error = "\"" + target + "\" already exists";
            written = written && SyncFolder(good);
            // Without its size and time in the record, undo keeps the video: it cannot tell
            // it unchanged. The video itself is complete all the same.
            std::string ignored;
            if (written && record) record->noteWritten(name, ignored);
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        MoveOutcome& o = outcomes[entries[i]];
        const int place =
            int(std::lower_bound(indices.begin(), indices.end(), frames[i] - 1) - indices.begin());
        o.target = FrameRefText({target, place + 1});
        o.moved = written;
        o.error = written ? std::string() : error;
        o.folderFault = folderFault;
        o.video = video;
    }
}

// One file into Good, whose folder the caller has locked. `recorded`: a record in Good lists
// the file as moved there, so that an identical copy in Good is the move's own.
MoveOutcome MoveIntoGood(const std::string& source, const std::atomic<bool>* stop, bool recorded) {
    MoveOutcome outcome;
    outcome.source = source;
    std::string folder, name;
    SplitFolderAndName(source, folder, name);
    const std::string good = GoodFolderOf(source);
    outcome.target = good + "/" + name;

    struct stat st {};
    if (lstat(source.c_str(), &st) != 0) {
        outcome.error = errno == ENOENT ? "it no longer exists" : SystemError(errno);
        return outcome;
    }
    const bool isLink = S_ISLNK(st.st_mode);
    if (!S_ISREG(st.st_mode) && !isLink) {
        outcome.error = "it is not a regular file";
        return outcome;
    }
    if (!EnsureGoodFolder(good, outcome.error)) {
        outcome.folderFault = true;
        return outcome;
    }
    outcome.moved =
        MoveNoReplace(source, outcome.target, good, name, isLink, stop, recorded, outcome.error);
    outcome.stopped = !outcome.moved && outcome.error == kStoppedError;
    return outcome;
}

// The names that records in `good` list as files moved there.
std::set<std::string> RecordedFiles(const std::string& good) {
    std::set<std::string> names;
    std::vector<MoveRecordFile> records;
    std::string ignored;
    ReadMoveRecords(good, records, ignored);
    for (const MoveRecordFile& r : records)
        for (const JournalEntry& e : r.entries)
            if (!e.video) names.insert(e.name);
    return names;
}

bool LinkText(const std::string& path, std::string& text, std::string& error) {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) return Fail(error, OsError("cannot read the link \"" + path + "\""));
        if (std::size_t(n) < buffer.size()) {
            text.assign(buffer.data(), std::size_t(n));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string PartialCopyName(const std::string& name) { return HiddenName(name, kPartialSuffix); }

void SetCopyProgressHookForTests(CopyProgressHook hook) { g_copyHook = hook; }

std::string GoodFolderOf(const std::string& path) {
    std::string folder, name;
    SplitFolderAndName(path, folder, name);
    return folder == "/" ? "/Good" : folder + "/Good";
}

std::string GoodInUseError(const std::string& good) {
    return "another move or undo is working in \"" + good +
           "\"; nothing was done there (try again once it has finished)";
}

Duplicate RemoveDuplicate(const std::string& duplicate, const std::string& kept,
                          std::string& error) {
    struct stat a {
    }, b{};
    if (lstat(duplicate.c_str(), &a) != 0 || lstat(kept.c_str(), &b) != 0) {
        error = OsError("cannot compare \"" + duplicate + "\" with \"" + kept + "\"");
        return Duplicate::Failed;
    }
    // One directory entry reached by two paths is no duplicate: removing it loses it.
    if (FindRepeatedEntry({duplicate, kept}).first >= 0) return Duplicate::Differs;
    if (S_ISLNK(a.st_mode) && S_ISLNK(b.st_mode)) {
        std::string ta, tb;
        if (!LinkText(duplicate, ta, error) || !LinkText(kept, tb, error)) return Duplicate::Failed;
        struct stat now {};
        if (ta != tb || lstat(duplicate.c_str(), &now) != 0 || now.st_ino != a.st_ino ||
            now.st_dev != a.st_dev)
            return Duplicate::Differs;
    } else {
        if (!S_ISREG(a.st_mode) || !S_ISREG(b.st_mode) || a.st_size != b.st_size)
            return Duplicate::Differs;
        const int fa = open(duplicate.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        const int fb = open(kept.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat oa {
        }, ob{};
        const bool same = fa >= 0 && fb >= 0 && fstat(fa, &oa) == 0 && fstat(fb, &ob) == 0 &&
                          S_ISREG(oa.st_mode) && S_ISREG(ob.st_mode) && SameContents(fa, fb) &&
                          StillNamed(fa, duplicate) && StillNamed(fb, kept);
        if (fa >= 0) close(fa);
        if (fb >= 0) close(fb);
        if (!same) return Duplicate::Differs;
    }
    if (unlink(duplicate.c_str()) != 0) {
        error = OsError("cannot remove \"" + duplicate + "\"");
        return Duplicate::Failed;
    }
    return Duplicate::Removed;
}

bool MoveNoReplacing(const std::string& from, const std::string& to, std::string& error) {
    struct stat st {};
    if (lstat(from.c_str(), &st) != 0) {
        error = errno == ENOENT ? "it no longer exists" : SystemError(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        error = "it is not a regular file";
        return false;
    }
    std::string folder, name;
    SplitFolderAndName(to, folder, name);
    return MoveNoReplace(from, to, folder, name, S_ISLNK(st.st_mode), nullptr, false, error);
}

MoveOutcome MoveToGood(const std::string& source, const std::atomic<bool>* stop) {
    const std::string good = GoodFolderOf(source);
    FolderLock lock;
    std::string ignored;
    struct stat st {};
    if (stat(good.c_str(), &st) == 0 && lock.take(good, ignored) == LockResult::Held) {
        MoveOutcome outcome;
        std::string folder, name;
        SplitFolderAndName(source, folder, name);
        outcome.source = source;
        outcome.target = good + "/" + name;
        outcome.error = GoodInUseError(good);
        outcome.folderFault = outcome.goodInUse = true;
        return outcome;
    }
    std::string folder, name;
    SplitFolderAndName(source, folder, name);
    return MoveIntoGood(source, stop, RecordedFiles(good).count(name) > 0);
}

std::vector<MoveOutcome> MovePassedFiles(const std::vector<std::string>& sources,
                                         const MoveControl& control) {
    // A video's frames are written together, when its first passed frame is reached.
    struct VideoFrames {
        std::vector<std::size_t> entries;
        std::vector<int> frames;
    };
    std::map<std::string, VideoFrames> videos;
    std::vector<const std::string*> videoOf(sources.size(), nullptr);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const FrameRef ref = ParseFrameRef(sources[i]);
        if (!ref.inVideo()) continue;
        auto& v = videos[ref.file];
        v.entries.push_back(i);
        v.frames.push_back(ref.frame);
        videoOf[i] = &videos.find(ref.file)->first;
    }
    std::vector<MoveOutcome> outcomes(sources.size());
    std::vector<char> done(sources.size(), 0);
    const int total = int(sources.size());
    int finished = 0;

    // Each Good folder is held for the whole move: another move or undo there is refused at
    // once, and none can start there until this one ends (or dies).
    struct GoodFolder {
        FolderLock lock;
        std::string refused;  // why it takes nothing
        bool inUse = false;
        std::set<std::string> recorded;  // files that records there list as moved in
        std::vector<JournalEntry> planned;
        std::unique_ptr<MoveRecord> record;
    };
    std::map<std::string, GoodFolder> goods;
    std::vector<std::string> goodOf(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        goodOf[i] = GoodFolderOf(videoOf[i] ? *videoOf[i] : sources[i]);
        goods[goodOf[i]];
    }
    const bool stopped = Stopping(control.stop);
    // One folder may be reached by paths spelled apart ("seq/Good", "/data/seq/Good"): it is
    // held once, or this move would find itself in the way.
    std::set<std::pair<dev_t, ino_t>> held;
    for (auto& [good, g] : goods) {
        struct stat st {};
        if (stopped || !EnsureGoodFolder(good, g.refused)) continue;
        const bool known = stat(good.c_str(), &st) == 0;
        std::string ignored;
        if (!(known && held.count({st.st_dev, st.st_ino})) &&
            g.lock.take(good, ignored) == LockResult::Held) {
            g.refused = GoodInUseError(good);
            g.inUse = true;
            continue;
        }
        if (known) held.insert({st.st_dev, st.st_ino});
        g.recorded = RecordedFiles(good);
    }

    // Each Good folder gets its record of all that will go into it before anything moves,
    // so that a move cut short is undone as well as a complete one. A folder whose record
    // cannot be written takes nothing.
    for (std::size_t i = 0; i < sources.size() && !stopped; ++i) {
        GoodFolder& g = goods[goodOf[i]];
        JournalEntry e;
        e.video = videoOf[i] != nullptr;
        if (!g.refused.empty() || (e.video && videos[*videoOf[i]].entries.front() != i)) continue;
        const std::string& path = e.video ? *videoOf[i] : sources[i];
        std::string folder;
        SplitFolderAndName(path, folder, e.name);
        e.origin = AbsoluteOrigin(path);
        // What is in Good already is not this move's and never replaced: undo leaves it.
        struct stat st {};
        if (lstat((goodOf[i] + "/" + e.name).c_str(), &st) == 0) continue;
        if (e.video) {
            e.frames = videos[*videoOf[i]].frames;
            std::sort(e.frames.begin(), e.frames.end());
            e.frames.erase(std::unique(e.frames.begin(), e.frames.end()), e.frames.end());
        } else if (lstat(path.c_str(), &st) == 0) {
            // Undo leaves a file that no longer has them in Good: it is no longer this one.
            e.sizeKnown = true;
            e.size = std::uint64_t(st.st_size);
            e.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        }
        g.planned.push_back(e);
    }
    for (auto& [good, g] : goods) {
        if (g.planned.empty() || !g.refused.empty()) continue;
        g.record = std::make_unique<MoveRecord>();
        if (!g.record->start(good, g.planned, g.refused)) g.record.reset();
    }

    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (done[i]) continue;
        MoveOutcome& o = outcomes[i];
        const GoodFolder& g = goods[goodOf[i]];
        if (!g.refused.empty() && !Stopping(control.stop)) {
            const auto mark = [&](std::size_t k) {
                std::string folder, name;
                SplitFolderAndName(videoOf[k] ? *videoOf[k] : sources[k], folder, name);
                outcomes[k].source = sources[k];
                outcomes[k].target = goodOf[i] + "/" + name;
                outcomes[k].error = g.refused;
                outcomes[k].folderFault = true;
                outcomes[k].goodInUse = g.inUse;
                if (videoOf[k]) outcomes[k].video = *videoOf[k];
                done[k] = 1;
                ++finished;
            };
            if (videoOf[i])
                for (std::size_t e : videos[*videoOf[i]].entries) mark(e);
            else
                mark(i);
            if (control.progress) control.progress(finished, total);
            continue;
        }
        if (Stopping(control.stop)) {
            o.source = sources[i];
            o.error = kStoppedError;
            o.stopped = true;
            continue;
        }
        if (videoOf[i]) {
            const VideoFrames& v = videos[*videoOf[i]];
            for (std::size_t e : v.entries) {
                outcomes[e].source = sources[e];
                done[e] = 1;
            }
            WriteVideoToGood(*videoOf[i], v.entries, v.frames, outcomes, g.record.get());
            finished += int(v.entries.size());
        } else {
            std::string folder, name;
            SplitFolderAndName(sources[i], folder, name);
            o = MoveIntoGood(sources[i], control.stop, g.recorded.count(name) > 0);
            ++finished;
        }
        if (control.progress) control.progress(finished, total);
    }
    return outcomes;
}

std::vector<MoveFailure> SummariseFailures(const std::vector<MoveOutcome>& outcomes) {
    std::vector<MoveFailure> failures;
    // (folder fault, subject, error) -> its line
    std::map<std::tuple<bool, std::string, std::string>, std::size_t> lines;
    for (const MoveOutcome& o : outcomes) {
        if (o.moved) continue;
        const std::string subject = o.folderFault ? o.target.substr(0, o.target.find_last_of('/'))
                                    : o.video.empty() ? o.source
                                                      : o.video;
        const auto key = std::make_tuple(o.folderFault, subject, o.error);
        const auto found = lines.find(key);
        if (found != lines.end()) {
            ++failures[found->second].files;
            continue;
        }
        lines.emplace(key, failures.size());
        failures.push_back({subject, o.error, 1, o.folderFault, o.goodInUse});
    }
    return failures;
}

}  // namespace framesifter
