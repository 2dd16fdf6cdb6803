#include "file_move.h"

#include "file_io.h"
#include "frame_format.h"
#include "move_journal.h"
#include "no_replace.h"
#include "path_parts.h"
#include "ser_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <algorithm>
#include <map>
#include <memory>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace framesifter {

namespace {

CopyProgressHook g_copyHook = nullptr;

// Not a frame extension, so no frame list can hold the name of a partial copy.
constexpr char kPartialSuffix[] = ".framesifter-part";
constexpr std::size_t kNameMax = 255;
constexpr char kStoppedError[] = "the move was stopped; it stayed where it was";

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

// A partial copy left by a killed move is nobody's file: clear it before copying again.
void RemoveLeftover(const std::string& partial) {
    struct stat st {};
    if (lstat(partial.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
        unlink(partial.c_str());
}

// The complete copy under its temporary name becomes the frame, durably, and then the
// source goes. Any failure leaves the source as the only copy.
bool PlaceThenRemoveSource(const std::string& source, const std::string& partial,
                           const std::string& target, const std::string& good, std::string& error) {
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
    const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) {
        error = "cannot read it: " + SystemError(errno);
        return false;
    }
    struct stat st {};
    fstat(in, &st);
    RemoveLeftover(partial);
    const int out = open(partial.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        const int code = errno;
        close(in);
        error = "cannot create \"" + partial + "\": " + SystemError(code);
        return false;
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
    if (close(out) != 0 && ok) {
        ok = false;
        code = errno;
    }
    close(in);
    if (!ok) {
        unlink(partial.c_str());
        error = stopped ? kStoppedError
                        : "copying it into \"" + target + "\" failed: " + SystemError(code);
        return false;
    }
    return PlaceThenRemoveSource(source, partial, target, good, error);
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
    RemoveLeftover(partial);
    if (symlink(std::string(text.begin(), text.end()).c_str(), partial.c_str()) != 0) {
        error = "cannot create \"" + partial + "\": " + SystemError(errno);
        return false;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, partial.c_str(), times, AT_SYMLINK_NOFOLLOW);
    return PlaceThenRemoveSource(source, partial, target, good, error);
}

bool MoveNoReplace(const std::string& source, const std::string& target, const std::string& good,
                   const std::string& name, bool isLink, const std::atomic<bool>* stop,
                   std::string& error) {
    const int code = RenameNoReplace(source, target);
    if (code == 0) return true;
    struct stat st {};
    if (code == EXDEV && lstat(target.c_str(), &st) == 0) {
        error = "\"" + target + "\" already exists";
        return false;
    }
    if (code == EXDEV) {
        const std::string partial = good + "/" + PartialCopyName(name);
        return isLink ? CopyLinkThenRemove(source, target, good, partial, error)
                      : CopyThenRemove(source, target, good, partial, stop, error);
    }
    if (code == EEXIST || code == ENOTEMPTY)
        error = "\"" + target + "\" already exists";
    else if (code == ENOENT)
        error = "it no longer exists";
    else
        error = SystemError(code);
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
    SerHeader header;
    struct stat st {};
    if (::lstat(video.c_str(), &st) != 0) {
        error = errno == ENOENT ? "it no longer exists" : SystemError(errno);
    } else if (source.open(video, error) && ReadSerHeader(source, header, error)) {
        if (!EnsureGoodFolder(good, error)) {
            folderFault = true;
        } else if (::lstat(target.c_str(), &st) == 0) {
            error = "\"" + target + "\" already exists";
        } else {
            written = WriteSerSubset(source, header, indices, target, error);
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
        o.target = FrameEntry(target, place + 1);
        o.moved = written;
        o.error = written ? std::string() : error;
        o.folderFault = folderFault;
        o.video = video;
    }
}

}  // namespace

std::string PartialCopyName(const std::string& name) {
    const std::size_t room = kNameMax - 1 - (sizeof kPartialSuffix - 1);
    return "." + name.substr(0, room) + kPartialSuffix;
}

void SetCopyProgressHookForTests(CopyProgressHook hook) { g_copyHook = hook; }

std::string GoodFolderOf(const std::string& path) {
    std::string folder, name;
    SplitFolderAndName(path, folder, name);
    return folder == "/" ? "/Good" : folder + "/Good";
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
    return MoveNoReplace(from, to, folder, name, S_ISLNK(st.st_mode), nullptr, error);
}

MoveOutcome MoveToGood(const std::string& source, const std::atomic<bool>* stop) {
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
    outcome.moved = MoveNoReplace(source, outcome.target, good, name, isLink, stop, outcome.error);
    outcome.stopped = !outcome.moved && outcome.error == kStoppedError;
    return outcome;
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
        std::string video;
        int frame = 0;
        if (!SplitFrameEntry(sources[i], video, frame)) continue;
        auto& v = videos[video];
        v.entries.push_back(i);
        v.frames.push_back(frame);
        videoOf[i] = &videos.find(video)->first;
    }
    std::vector<MoveOutcome> outcomes(sources.size());
    std::vector<char> done(sources.size(), 0);
    const int total = int(sources.size());
    int finished = 0;

    // Each Good folder gets its record of all that will go into it before anything moves,
    // so that a move cut short is undone as well as a complete one. A folder whose record
    // cannot be written takes nothing.
    std::map<std::string, std::vector<JournalEntry>> planned;
    std::vector<std::string> goodOf(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        JournalEntry e;
        e.video = videoOf[i] != nullptr;
        if (e.video && videos[*videoOf[i]].entries.front() != i) continue;
        const std::string& path = e.video ? *videoOf[i] : sources[i];
        std::string folder;
        SplitFolderAndName(path, folder, e.name);
        e.origin = AbsoluteOrigin(path);
        goodOf[i] = GoodFolderOf(path);
        // What is in Good already is not this move's and never replaced: undo leaves it.
        struct stat st {};
        std::vector<JournalEntry>& entries = planned[goodOf[i]];
        if (lstat((goodOf[i] + "/" + e.name).c_str(), &st) != 0) entries.push_back(e);
    }
    std::map<std::string, std::unique_ptr<MoveRecord>> records;
    std::map<std::string, std::string> refused;  // Good folder -> why it takes nothing
    if (!Stopping(control.stop)) {
        for (const auto& [good, entries] : planned) {
            if (entries.empty()) continue;
            std::string error;
            auto record = std::make_unique<MoveRecord>();
            if (EnsureGoodFolder(good, error) && record->start(good, entries, error))
                records[good] = std::move(record);
            else
                refused[good] = error;
        }
    }

    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (done[i]) continue;
        MoveOutcome& o = outcomes[i];
        const auto no = refused.find(goodOf[i]);
        if (no != refused.end() && !Stopping(control.stop)) {
            const auto mark = [&](std::size_t k) {
                std::string folder, name;
                SplitFolderAndName(videoOf[k] ? *videoOf[k] : sources[k], folder, name);
                outcomes[k].source = sources[k];
                outcomes[k].target = goodOf[i] + "/" + name;
                outcomes[k].error = no->second;
                outcomes[k].folderFault = true;
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
            const auto record = records.find(goodOf[i]);
            WriteVideoToGood(*videoOf[i], v.entries, v.frames, outcomes,
                             record == records.end() ? nullptr : record->second.get());
            finished += int(v.entries.size());
        } else {
            o = MoveToGood(sources[i], control.stop);
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
        failures.push_back({subject, o.error, 1, o.folderFault});
    }
    return failures;
}

}  // namespace framesifter
