#include "move_journal.h"
#include "reason.h"

#include "byte_source.h"
#include "file_io.h"
#include "file_lock.h"
#include "checked_move.h"
#include "frame_formats.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>

namespace framesifter {

const char kMoveJournalFolder[] = ".framesifter-moves";

namespace {

constexpr char kHeaderStart[] = "framesifter-moves ";
constexpr char kVersion[] = "2";
constexpr char kSuffix[] = ".txt";
// A move takes at most 4000 files: far more entries are a forgery, and memory stays bounded.
constexpr std::size_t kMaxRecordEntries = 250000;
constexpr std::size_t kNamedIgnoredLines = 100;
// Times kept as finely as a FAT disk keeps them still count as the same.
constexpr std::uint64_t kTimeSlackNs = 2000000000;

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

bool Unescape(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return false;
        const char c = text[i];
        if (c != '\\' && c != 't' && c != 'n') return false;
        out += c == 't' ? '\t' : c == 'n' ? '\n' : '\\';
    }
    return true;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

// A name in Good: one entry of that folder, never a way out of it.
bool PlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

bool ParseNumber(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + std::uint64_t(c - '0');
    }
    return true;
}

// "2,5,9": frame numbers from 1.
bool ParseFrames(const std::string& text, std::vector<int>& frames) {
    frames.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        std::uint64_t n = 0;
        if (!ParseNumber(text.substr(start, comma - start), n) || n < 1 || n > 0x7fffffff)
            return false;
        frames.push_back(int(n));
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

std::string FramesText(const std::vector<int>& frames) {
    std::string text;
    for (int f : frames) text += (text.empty() ? "" : ",") + std::to_string(f);
    return text;
}

bool ParseSigned(const std::string& text, std::int64_t& value) {
    std::uint64_t magnitude = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!ParseNumber(negative ? text.substr(1) : text, magnitude) ||
        magnitude > std::uint64_t(INT64_MAX))
        return false;
    value = negative ? -std::int64_t(magnitude) : std::int64_t(magnitude);
    return true;
}

std::int64_t MtimeNs(const struct stat& st) {
    return std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

std::string RecordName() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d.%09ldZ-%ld", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  long(now.tv_nsec), long(getpid()));
    return std::string(text) + kSuffix;
}

// A record's text, opened as frames are: a named pipe or a device cannot hang the undo, and
// no record is read whole beyond the limit.
bool ReadRecordText(const std::string& path, std::string& text, std::string& error) {
    ByteSource source;
    if (!source.open(path, error)) return false;
    if (source.size() > kMaxMoveRecordBytes)
        return Fail(error,
                    Reason(ReasonKind::RecordTooLarge, {kMaxMoveRecordBytes >> 20, source.size()}));
    std::vector<std::uint8_t> bytes;
    const std::uint8_t* data = source.view(0, std::size_t(source.size()), bytes, error);
    if (!data) return false;
    text.assign(reinterpret_cast<const char*>(data), std::size_t(source.size()));
    return true;
}

// The folder that holds `good`, from its path alone: a Good reached through a link belongs
// to the folder that has the link, where the moves into it came from.
std::string FolderHoldingGood(const std::string& good) {
    const std::string absolute = AbsoluteOrigin(good);
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= absolute.size()) {
        std::size_t slash = absolute.find('/', start);
        if (slash == std::string::npos) slash = absolute.size();
        const std::string part = absolute.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    if (!parts.empty()) parts.pop_back();
    std::string folder;
    for (const std::string& part : parts) folder += "/" + part;
    return folder;  // "" for the root: names are appended after a slash
}

// lstat's answer: 1 exists, 0 does not, -1 cannot tell (errno set).
int Exists(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) return 1;
    return errno == ENOENT ? 0 : -1;
}

bool SameSizeAndTime(const struct stat& st, const JournalEntry& e, std::uint64_t slackNs) {
    // In unsigned arithmetic: a forged time far from the file's cannot overflow.
    const std::int64_t now = MtimeNs(st);
    const std::uint64_t apart = now >= e.mtimeNs ? std::uint64_t(now) - std::uint64_t(e.mtimeNs)
                                                 : std::uint64_t(e.mtimeNs) - std::uint64_t(now);
    return std::uint64_t(st.st_size) == e.size && apart <= slackNs;
}

void UndoFile(UndoItem& item, const std::string& origin, const MoveControl& control) {
    const JournalEntry& e = item.entry;
    const int inGood = Exists(item.inGood);
    const int atOrigin = inGood < 0 ? 0 : Exists(origin);
    struct stat st {};
    if (inGood < 0) {
        item.state = UndoState::Kept;
        item.error = SystemError(errno);
    } else if (atOrigin < 0) {
        item.state = UndoState::Kept;
        item.error = SystemReason(ReasonKind::CannotLookAt, {origin});
    } else if (inGood == 0) {
        item.state = atOrigin ? UndoState::NotMoved : UndoState::Missing;
        if (!atOrigin) item.error = Reason(ReasonKind::NeitherHere, {origin});
    } else if (atOrigin) {
        // Two copies: a move or an undo was killed after placing one and before removing the
        // other. The same bytes in both places: the frame is back once the copy in Good goes.
        const DuplicateRemoval removal = RemoveDuplicate(item.inGood, origin);
        switch (removal.state) {
        case Duplicate::Removed:
            item.state = UndoState::MovedBack;
            break;
        case Duplicate::Differs:
            item.state = UndoState::Kept;
            item.error = Reason(ReasonKind::ExistsAgain, {origin});
            break;
        case Duplicate::Failed:
            item.state = UndoState::Kept;
            item.error = removal.error;
            break;
        }
    } else if (e.sizeKnown &&
               (lstat(item.inGood.c_str(), &st) != 0 || !SameSizeAndTime(st, e, kTimeSlackNs))) {
        item.state = UndoState::Kept;
        item.error = Reason(ReasonKind::ChangedInGood);
    } else if (MoveNoReplacing(item.inGood, origin, control, false, item.error)) {
        item.state = UndoState::MovedBack;
    } else {
        item.state = UndoState::Kept;
    }
}

// A video written into Good goes only when it is unchanged and holds nothing but frames of
// its video, which must still exist: otherwise removing it could lose the only copy. It got
// its name only once complete, so one without a recorded size is whole all the same.
void UndoVideo(UndoItem& item, const std::string& video) {
    const JournalEntry& e = item.entry;
    const FrameFormatRow& format = FormatRow(FrameFormatOf(video));
    const int inGood = Exists(item.inGood);
    struct stat st {};
    ByteSource written, source;
    std::string why;
    item.state = UndoState::Kept;
    if (inGood < 0) {
        item.error = SystemError(errno);
    } else if (inGood == 0) {
        item.state = UndoState::NotMoved;
    } else if (lstat(item.inGood.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
               (e.sizeKnown && !SameSizeAndTime(st, e, 0))) {
        // Without its size (a move killed once the video had its name, before the record had
        // its size), what it holds alone decides.
        item.error = Reason(ReasonKind::ChangedAfterWritten);
    } else if (!format.holdsOnlyFramesOf) {
        item.error = Reason(ReasonKind::NotOnlyFramesKind, {video, FormatNames(true)});
    } else if (!written.open(item.inGood, why)) {
        item.error = why;
    } else if (!source.open(video, why)) {
        item.error = Reason(ReasonKind::ItsVideoCannotBeRead, {video, why});
    } else if (!format.holdsOnlyFramesOf(written, source, e.frames, why)) {
        item.error = Reason(ReasonKind::NotOnlyFrames, {video, why});
    } else if (!StillNamed(written.descriptor(), item.inGood)) {
        item.error = Reason(ReasonKind::ChangedWhileCompared);
    } else if (unlink(item.inGood.c_str()) != 0) {
        item.error = SystemReason(ReasonKind::CannotRemoveIt);
    } else {
        item.state = UndoState::Removed;
    }
}

void UndoEntry(const std::string& good, const std::string& folder, const MoveControl& control,
               UndoItem& item) {
    JournalEntry& e = item.entry;
    item.inGood = good + "/" + e.name;
    e.origin = folder + "/" + e.name;
    if (e.video)
        UndoVideo(item, e.origin);
    else
        UndoFile(item, e.origin, control);
}

// What killed moves and undos of these entries left: temporary copies in Good and beside it,
// and a video's temporary files; each only when no live process holds it.
void ClearLeftovers(const std::string& good, const std::string& folder,
                    const std::vector<JournalEntry>& entries) {
    std::string ignored;
    std::vector<std::string> videos;
    for (const JournalEntry& e : entries) {
        RemoveLeftover(good + "/" + PartialCopyName(e.name), ignored);
        RemoveLeftover(folder + "/" + PartialCopyName(e.name), ignored);
        if (e.video) videos.push_back(e.name);
    }
    if (!videos.empty()) RemoveTemporaryLeftovers(good, videos);
}

}  // namespace

MoveRecord::~MoveRecord() {
    if (fd_ >= 0) close(fd_);
}

bool MoveRecord::start(const std::string& good, const std::vector<JournalEntry>& entries,
                       std::string& error) {
    good_ = good;
    const std::string folder = good + "/" + kMoveJournalFolder;
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        error = SystemReason(ReasonKind::CannotRecord, {folder});
        return false;
    }
    std::string text = std::string(kHeaderStart) + kVersion + "\n";
    for (const JournalEntry& e : entries) {
        text += std::string(e.video ? "video" : "file") + "\t" + Escape(e.origin) + "\t" +
                Escape(e.name);
        if (e.video && !e.frames.empty()) text += "\t" + FramesText(e.frames);
        if (!e.video && e.sizeKnown)
            text += "\t" + std::to_string(e.size) + "\t" + std::to_string(e.mtimeNs);
        text += "\n";
    }
    std::string path;
    for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
        path = folder + "/" + RecordName();
        fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    std::string why;
    if (fd_ < 0 || !WriteAll(fd_, text.data(), text.size()) || fsync(fd_) != 0)
        why = SystemError(errno);
    if (!why.empty() || !SyncFolder(folder, why) || !SyncFolder(good, why)) {
        error = Reason(ReasonKind::CannotRecord, {folder, why});
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
            unlink(path.c_str());
        }
        return false;
    }
    return true;
}

bool MoveRecord::noteWritten(const std::string& name, std::string& error) {
    struct stat st {};
    if (fd_ < 0 || broken_) return Fail(error, Reason(ReasonKind::RecordClosed));
    if (lstat((good_ + "/" + name).c_str(), &st) != 0)
        return Fail(error, SystemReason(ReasonKind::PathProblem, {name}));
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "\t%" PRIu64 "\t%" PRId64 "\n",
                  std::uint64_t(st.st_size), MtimeNs(st));
    const std::string line = "written\t" + Escape(name) + numbers;
    if (!WriteAll(fd_, line.data(), line.size()) || fsync(fd_) != 0) {
        broken_ = true;
        return Fail(error, SystemReason(ReasonKind::CannotAddRecord));
    }
    return true;
}

bool ParseMoveRecord(const std::string& text, std::vector<JournalEntry>& entries,
                     std::vector<std::string>* ignored, std::string& error) {
    entries.clear();
    if (ignored) ignored->clear();
    const std::size_t end = text.rfind('\n');
    const std::size_t headerEnd = text.find('\n');
    if (end == std::string::npos) return Fail(error, Reason(ReasonKind::RecordNoLine));
    const std::string header = text.substr(0, headerEnd);
    if (header != std::string(kHeaderStart) + "1" && header != std::string(kHeaderStart) + kVersion)
        return Fail(
            error, Reason(ReasonKind::RecordFirstLine,
                          {std::string(kHeaderStart) + "1", std::string(kHeaderStart) + kVersion}));
    // Every name listed, to its entry: a written line finds its video at once, however long
    // the record.
    std::unordered_map<std::string, std::size_t> byName;
    int line = 1;
    int unnamed = 0;  // ignored lines beyond those named one by one
    const auto skip = [&](const std::string& why) {
        if (ignored && ignored->size() < kNamedIgnoredLines)
            ignored->push_back("line " + std::to_string(line) + ": " + why);
        else
            ++unnamed;
    };
    for (std::size_t start = headerEnd + 1; start <= end;) {
        ++line;
        if (entries.size() == kMaxRecordEntries) {
            skip("more than " + std::to_string(kMaxRecordEntries) +
                 " files and videos: this line and the rest are ignored");
            break;
        }
        const std::size_t stop = text.find('\n', start);
        const std::vector<std::string> f = Fields(text.substr(start, stop - start));
        start = stop + 1;
        const std::string& kind = f[0];
        std::uint64_t size = 0;
        std::int64_t mtime = 0;
        if (kind == "file" || kind == "video") {
            JournalEntry e;
            e.video = kind == "video";
            const std::size_t n = f.size();
            if (n != 3 && n != (e.video ? 4u : 5u)) {
                skip("a " + kind + " line of " + std::to_string(n) + " fields");
            } else if (!Unescape(f[1], e.origin) || !Unescape(f[2], e.name)) {
                skip("a backslash that escapes nothing");
            } else if (e.origin.empty() || e.origin[0] != '/') {
                skip("the origin \"" + e.origin + "\" is not an absolute path");
            } else if (!PlainName(e.name)) {
                skip("\"" + e.name + "\" is not a name in Good");
            } else if (n == 5 && (!ParseNumber(f[3], size) || !ParseSigned(f[4], mtime))) {
                skip("a size or time that is not a number");
            } else if (n == 4 && !ParseFrames(f[3], e.frames)) {
                skip("frame numbers that are not numbers from 1 separated by commas");
            } else if (!byName.emplace(e.name, entries.size()).second) {
                skip("\"" + e.name + "\" listed again");
            } else {
                e.sizeKnown = n == 5;
                e.size = size;
                e.mtimeNs = mtime;
                entries.push_back(e);
            }
        } else if (kind == "written" && f.size() == 4) {
            std::string name;
            const auto found = Unescape(f[1], name) ? byName.find(name) : byName.end();
            if (!ParseNumber(f[2], size) || !ParseSigned(f[3], mtime)) {
                skip("a size or time that is not a number");
            } else if (found == byName.end() || !entries[found->second].video) {
                skip("a written line for \"" + name + "\", which is not a video listed before it");
            } else if (entries[found->second].sizeKnown) {
                skip("\"" + name + "\" written again");
            } else {
                JournalEntry& v = entries[found->second];
                v.sizeKnown = true;
                v.size = size;
                v.mtimeNs = mtime;
            }
        } else {
            skip("not a line of a move record");
        }
    }
    if (ignored && unnamed) ignored->push_back(std::to_string(unnamed) + " more lines ignored");
    return true;
}

bool ReadMoveRecords(const std::string& good, std::vector<MoveRecordFile>& records,
                     std::string& error) {
    records.clear();
    const std::string folder = good + "/" + kMoveJournalFolder;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return errno == ENOENT ||
               Fail(error, SystemReason(ReasonKind::QuotedPathProblem, {folder}));
    std::vector<std::string> names;
    const std::size_t suffix = sizeof kSuffix - 1;
    while (const dirent* d = readdir(dir)) {
        const std::string name = d->d_name;
        if (name.size() > suffix && name.compare(name.size() - suffix, suffix, kSuffix) == 0)
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.rbegin(), names.rend());
    for (const std::string& name : names) {
        MoveRecordFile r;
        r.path = folder + "/" + name;
        std::string text;
        if (ReadRecordText(r.path, text, r.error))
            (void)ParseMoveRecord(text, r.entries, &r.ignored, r.error);
        records.push_back(std::move(r));
    }
    return true;
}

std::string AbsoluteOrigin(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return path;
        buffer.resize(buffer.size() * 2);
    }
    std::string folder = buffer.data();
    std::string rest = path;
    while (rest.compare(0, 2, "./") == 0) rest.erase(0, 2);
    return (folder == "/" ? "" : folder) + "/" + rest;
}

bool UndoReport::incomplete() const {
    if (stopped) return true;
    return std::any_of(items.begin(), items.end(), [](const UndoItem& i) {
        return i.state == UndoState::Kept || i.state == UndoState::Missing ||
               i.state == UndoState::Ignored;
    });
}

std::string GoodInUseError(const std::string& good) {
    return Reason(ReasonKind::GoodInUse, {good});
}

bool UndoMoves(const std::string& good, UndoReport& report, std::string& error) {
    return UndoMoves(good, MoveControl(), report, error);
}

bool UndoMoves(const std::string& good, const MoveControl& control, UndoReport& report,
               std::string& error) {
    report = UndoReport();
    struct stat st {};
    if (stat(good.c_str(), &st) != 0)
        return Fail(error, SystemReason(ReasonKind::QuotedPathProblem, {good}));
    if (!S_ISDIR(st.st_mode)) return Fail(error, Reason(ReasonKind::NotAFolder, {good}));

    // Held throughout: a second undo, or a move into this Good, is refused while this runs.
    FolderLock lock;
    std::string ignored;
    if (lock.take(good, ignored) == LockResult::Held) {
        report.goodInUse = true;
        return Fail(error, GoodInUseError(good));
    }
    std::vector<MoveRecordFile> records;
    if (!ReadMoveRecords(good, records, error)) return false;
    const std::string folder = FolderHoldingGood(good);
    int total = 0, done = 0;
    for (const MoveRecordFile& r : records)
        if (r.error.empty()) total += int(r.entries.size());
    const auto stopAsked = [&] { return control.stop && control.stop->load(); };
    for (MoveRecordFile& r : records) {
        if (report.stopped) break;
        UndoItem skipped;
        skipped.inGood = r.path;
        skipped.state = UndoState::Ignored;
        if (!r.error.empty()) {
            skipped.error = r.error;
            report.items.push_back(skipped);
            continue;
        }
        ++report.records;
        for (const std::string& line : r.ignored) {
            skipped.error = line;
            report.items.push_back(skipped);
        }
        const std::size_t first = report.items.size();
        for (auto e = r.entries.rbegin(); e != r.entries.rend(); ++e) {
            if (stopAsked()) {
                report.stopped = true;
                report.notTried = total - done;
                break;
            }
            UndoItem item;
            item.entry = *e;
            UndoEntry(good, folder, control, item);
            if (item.error == kMoveStoppedError) {
                // Cut short in its copy: the file is whole in Good, as if never tried.
                report.stopped = true;
                report.notTried = total - done;
                break;
            }
            report.items.push_back(item);
            if (control.progress) control.progress(++done, total);
        }
        if (report.stopped) break;
        const bool complete =
            std::none_of(report.items.begin() + std::ptrdiff_t(first), report.items.end(),
                         [](const UndoItem& i) {
                             return i.state == UndoState::Kept || i.state == UndoState::Missing;
                         });
        if (!complete) continue;
        ClearLeftovers(good, folder, r.entries);
        if (unlink(r.path.c_str()) == 0) ++report.cleared;
    }
    const std::string recordFolder = good + "/" + kMoveJournalFolder;
    // Best effort: every file is back or kept already; the flushes only hurry the removals.
    (void)SyncFolder(recordFolder, ignored);
    rmdir(recordFolder.c_str());  // only when empty
    (void)SyncFolder(good, ignored);
    return true;
}

}  // namespace framesifter
