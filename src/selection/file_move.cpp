#include "file_move.h"
#include "reason.h"

#include "byte_source.h"
#include "file_io.h"
#include "file_lock.h"
#include "frame_formats.h"
#include "move_journal.h"
#include "path_parts.h"

#include <cerrno>
#include <cstdio>
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

bool Stopping(const MoveControl& control) { return control.stop && control.stop->load(); }

bool EnsureGoodFolder(const std::string& good, std::string& error) {
    struct stat st {};
    if (stat(good.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        error = Reason(ReasonKind::ExistsNotFolder, {good});
        return false;
    }
    if (mkdir(good.c_str(), 0777) == 0 || errno == EEXIST) {
        if (stat(good.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    }
    error = SystemReason(ReasonKind::CannotCreateFolder, {good});
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
        error = errno == ENOENT ? Reason(ReasonKind::NoLongerExists) : SystemError(errno);
    } else if (source.open(video, error) &&
               format.readVideo(source, frameCount, signature, error)) {
        if (!EnsureGoodFolder(good, error)) {
            folderFault = true;
        } else if (::lstat(target.c_str(), &st) == 0) {
            error = Reason(ReasonKind::TargetExists, {target});
        } else {
            // What a killed writing of this video left, once no live writer holds it.
            RemoveTemporaryLeftovers(good, {name});
            written = format.writeFrames(source, indices, target, error);
            if (!written && error == Reason(ReasonKind::AlreadyExists))
                error = Reason(ReasonKind::TargetExists, {target});
            // Not surely on the disk: the copy goes, and the video stays the frames' only home.
            std::string why;
            if (written && !SyncFolder(good, why)) {
                unlink(target.c_str());
                written = false;
                error = Reason(ReasonKind::CannotFlushFolder, {good, why});
            }
            // Without its size and time in the record, undo keeps the video: it cannot tell
            // it unchanged. The video itself is complete all the same.
            std::string ignored;
            if (written && record) (void)record->noteWritten(name, ignored);
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        MoveOutcome& o = outcomes[entries[i]];
        const int place =
            int(std::lower_bound(indices.begin(), indices.end(), frames[i] - 1) - indices.begin());
        o.target = {target, place + 1};
        o.moved = written;
        o.error = written ? std::string() : error;
        o.folderFault = folderFault;
    }
}

// One file into Good, whose folder the caller has locked. `recorded`: a record in Good lists
// the file as moved there, so that an identical copy in Good is the move's own.
MoveOutcome MoveIntoGood(const std::string& source, const MoveControl& control, bool recorded) {
    MoveOutcome outcome;
    outcome.source = {source, 0};
    std::string folder, name;
    SplitFolderAndName(source, folder, name);
    const std::string good = GoodFolderOf(source);
    outcome.target = {good + "/" + name, 0};

    struct stat st {};
    if (lstat(source.c_str(), &st) != 0) {
        outcome.error = errno == ENOENT ? Reason(ReasonKind::NoLongerExists) : SystemError(errno);
        return outcome;
    }
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        outcome.error = Reason(ReasonKind::ItNotRegular);

        return outcome;
    }
    if (!EnsureGoodFolder(good, outcome.error)) {
        outcome.folderFault = true;
        return outcome;
    }
    outcome.moved = MoveNoReplacing(source, outcome.target.file, control, recorded, outcome.error);
    outcome.stopped = !outcome.moved && outcome.error == kMoveStoppedError;
    return outcome;
}

// The names that records in `good` list as files moved there.
std::set<std::string> RecordedFiles(const std::string& good) {
    std::set<std::string> names;
    std::vector<MoveRecordFile> records;
    std::string ignored;
    // Unread records name nothing: a file of the same name in Good is then never taken for
    // this move's own copy.
    (void)ReadMoveRecords(good, records, ignored);
    for (const MoveRecordFile& r : records)
        for (const JournalEntry& e : r.entries)
            if (!e.video) names.insert(e.name);
    return names;
}

// The passed frames of each video: they are written together, when the video's first passed
// frame is reached.
struct VideoFrames {
    std::vector<std::size_t> entries;
    std::vector<int> frames;
};

// A Good folder, held for the whole move: another move or undo there is refused at once, and
// none can start there until this one ends (or dies).
struct GoodFolder {
    FolderLock lock;
    std::string refused;  // why it takes nothing
    bool inUse = false;
    std::set<std::string> recorded;  // files that records there list as moved in
    std::vector<JournalEntry> planned;
    std::unique_ptr<MoveRecord> record;
};

// What one call moves where: each source's video (null for a file) and Good folder.
struct MovePlan {
    explicit MovePlan(const std::vector<FrameRef>& sources) : sources(sources) {}
    const std::vector<FrameRef>& sources;
    std::map<std::string, VideoFrames> videos;
    std::vector<const std::string*> videoOf;
    std::map<std::string, GoodFolder> goods;
    std::vector<std::string> goodOf;
    std::vector<MoveOutcome> outcomes;
    std::vector<char> done;
    int finished = 0;
};

void PlanFolders(MovePlan& plan) {
    const std::vector<FrameRef>& sources = plan.sources;
    plan.videoOf.assign(sources.size(), nullptr);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const FrameRef& ref = sources[i];
        if (!ref.inVideo()) continue;
        auto& v = plan.videos[ref.file];
        v.entries.push_back(i);
        v.frames.push_back(ref.frame);
        plan.videoOf[i] = &plan.videos.find(ref.file)->first;
    }
    plan.goodOf.resize(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        plan.goodOf[i] = GoodFolderOf(sources[i].file);
        plan.goods[plan.goodOf[i]];
    }
    plan.outcomes.resize(sources.size());
    plan.done.assign(sources.size(), 0);
}

void HoldGoodFolders(std::map<std::string, GoodFolder>& goods) {
    // One folder may be reached by paths spelled apart ("seq/Good", "/data/seq/Good"): it is
    // held once, or this move would find itself in the way.
    std::set<std::pair<dev_t, ino_t>> held;
    for (auto& [good, g] : goods) {
        struct stat st {};
        if (!EnsureGoodFolder(good, g.refused)) continue;
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
}

// Source i's entry in its Good folder's record; false when nothing of it goes in the record.
bool PlannedEntry(MovePlan& plan, std::size_t i, JournalEntry& e) {
    const std::string* video = plan.videoOf[i];
    e.video = video != nullptr;
    if (e.video && plan.videos[*video].entries.front() != i) return false;
    const std::string& path = plan.sources[i].file;
    std::string folder;
    SplitFolderAndName(path, folder, e.name);
    e.origin = AbsoluteOrigin(path);
    // What is in Good already is not this move's and never replaced: undo leaves it.
    struct stat st {};
    if (lstat((plan.goodOf[i] + "/" + e.name).c_str(), &st) == 0) return false;
    if (e.video) {
        e.frames = plan.videos[*video].frames;
        std::sort(e.frames.begin(), e.frames.end());
        e.frames.erase(std::unique(e.frames.begin(), e.frames.end()), e.frames.end());
    } else if (lstat(path.c_str(), &st) == 0) {
        // Undo leaves a file that no longer has them in Good: it is no longer this one.
        e.sizeKnown = true;
        e.size = std::uint64_t(st.st_size);
        e.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
    return true;
}

// Each Good folder gets its record of all that will go into it before anything moves, so
// that a move cut short is undone as well as a complete one. A folder whose record cannot be
// written takes nothing.
void StartRecords(MovePlan& plan) {
    for (std::size_t i = 0; i < plan.sources.size(); ++i) {
        GoodFolder& g = plan.goods[plan.goodOf[i]];
        JournalEntry e;
        if (g.refused.empty() && PlannedEntry(plan, i, e)) g.planned.push_back(e);
    }
    for (auto& [good, g] : plan.goods) {
        if (g.planned.empty() || !g.refused.empty()) continue;
        g.record = std::make_unique<MoveRecord>();
        if (!g.record->start(good, g.planned, g.refused)) g.record.reset();
    }
}

// Source i, with the rest of its video, fails as its Good folder does.
void Refuse(MovePlan& plan, std::size_t i, const GoodFolder& g) {
    const auto mark = [&](std::size_t k) {
        std::string folder, name;
        SplitFolderAndName(plan.sources[k].file, folder, name);
        MoveOutcome& o = plan.outcomes[k];
        o.source = plan.sources[k];
        o.target = {plan.goodOf[i] + "/" + name, 0};
        o.error = g.refused;
        o.folderFault = true;
        o.goodInUse = g.inUse;
        plan.done[k] = 1;
        ++plan.finished;
    };
    if (plan.videoOf[i])
        for (std::size_t e : plan.videos[*plan.videoOf[i]].entries) mark(e);
    else
        mark(i);
}

// Source i into its Good folder: a file moved, or its whole video's passed frames written.
void MoveOne(MovePlan& plan, std::size_t i, const GoodFolder& g, const MoveControl& control) {
    if (plan.videoOf[i]) {
        const VideoFrames& v = plan.videos[*plan.videoOf[i]];
        for (std::size_t e : v.entries) {
            plan.outcomes[e].source = plan.sources[e];
            plan.done[e] = 1;
        }
        WriteVideoToGood(*plan.videoOf[i], v.entries, v.frames, plan.outcomes, g.record.get());
        plan.finished += int(v.entries.size());
        return;
    }
    std::string folder, name;
    SplitFolderAndName(plan.sources[i].file, folder, name);
    plan.outcomes[i] = MoveIntoGood(plan.sources[i].file, control, g.recorded.count(name) > 0);
    ++plan.finished;
}

}  // namespace

std::string GoodFolderOf(const std::string& path) {
    std::string folder, name;
    SplitFolderAndName(path, folder, name);
    return folder == "/" ? "/Good" : folder + "/Good";
}

MoveOutcome MoveToGood(const std::string& source, const MoveControl& control) {
    const std::string good = GoodFolderOf(source);
    FolderLock lock;
    std::string ignored;
    struct stat st {};
    if (stat(good.c_str(), &st) == 0 && lock.take(good, ignored) == LockResult::Held) {
        MoveOutcome outcome;
        std::string folder, name;
        SplitFolderAndName(source, folder, name);
        outcome.source = {source, 0};
        outcome.target = {good + "/" + name, 0};
        outcome.error = GoodInUseError(good);
        outcome.folderFault = outcome.goodInUse = true;
        return outcome;
    }
    std::string folder, name;
    SplitFolderAndName(source, folder, name);
    return MoveIntoGood(source, control, RecordedFiles(good).count(name) > 0);
}

std::vector<MoveOutcome> MovePassedFiles(const std::vector<FrameRef>& sources,
                                         const MoveControl& control) {
    MovePlan plan(sources);
    PlanFolders(plan);
    if (!Stopping(control)) {
        HoldGoodFolders(plan.goods);
        StartRecords(plan);
    }
    const int total = int(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (plan.done[i]) continue;
        const GoodFolder& g = plan.goods[plan.goodOf[i]];
        if (Stopping(control)) {
            MoveOutcome& o = plan.outcomes[i];
            o.source = sources[i];
            o.error = kMoveStoppedError;
            o.stopped = true;
            continue;
        }
        if (!g.refused.empty())
            Refuse(plan, i, g);
        else
            MoveOne(plan, i, g, control);
        if (control.progress) control.progress(plan.finished, total);
    }
    return plan.outcomes;
}

std::vector<MoveFailure> SummariseFailures(const std::vector<MoveOutcome>& outcomes) {
    std::vector<MoveFailure> failures;
    // (folder fault, subject, error) -> its line
    std::map<std::tuple<bool, std::string, std::string>, std::size_t> lines;
    for (const MoveOutcome& o : outcomes) {
        if (o.moved) continue;
        // A video's frames fail together, under the video's name.
        const std::string subject = o.folderFault
                                        ? o.target.file.substr(0, o.target.file.find_last_of('/'))
                                        : o.source.file;
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
