#include "move_journal.h"

#include "file_io.h"
#include "file_move.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace framesifter {

const char kMoveJournalFolder[] = ".framesifter-moves";

namespace {

constexpr char kHeader[] = "framesifter-moves 1";
constexpr char kSuffix[] = ".txt";

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

std::int64_t MtimeNs(const struct stat& st) {
    return std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

bool SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
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

bool ReadText(const std::string& path, std::string& text) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    text.clear();
    char buffer[1 << 14];
    std::size_t got = 0;
    bool ok = true;
    while ((ok = ReadAt(fd, buffer, sizeof buffer, text.size(), got)) && got > 0)
        text.append(buffer, got);
    close(fd);
    return ok;
}

// lstat's answer: 1 exists, 0 does not, -1 cannot tell (errno set).
int Exists(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) return 1;
    return errno == ENOENT ? 0 : -1;
}

void UndoEntry(const std::string& good, UndoItem& item) {
    const JournalEntry& e = item.entry;
    item.inGood = good + "/" + e.name;
    const int inGood = Exists(item.inGood);
    if (inGood < 0) {
        item.state = UndoState::Kept;
        item.why = SystemError(errno);
        return;
    }
    if (e.video) {
        struct stat st {};
        if (inGood == 0) {
            item.state = UndoState::NotMoved;
        } else if (!e.written) {
            item.state = UndoState::Kept;
            item.why = "the move ended before its size was recorded: it may have changed";
        } else if (lstat(item.inGood.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
                   std::uint64_t(st.st_size) != e.size || MtimeNs(st) != e.mtimeNs) {
            item.state = UndoState::Kept;
            item.why = "it changed after it was written";
        } else if (unlink(item.inGood.c_str()) != 0) {
            item.state = UndoState::Kept;
            item.why = "cannot remove it: " + SystemError(errno);
        } else {
            item.state = UndoState::Removed;
        }
        return;
    }
    const int atOrigin = Exists(e.origin);
    if (atOrigin < 0) {
        item.state = UndoState::Kept;
        item.why = "cannot look at \"" + e.origin + "\": " + SystemError(errno);
    } else if (inGood == 0) {
        item.state = atOrigin ? UndoState::NotMoved : UndoState::Missing;
        if (!atOrigin) item.why = "it is neither in Good nor at \"" + e.origin + "\"";
    } else if (atOrigin) {
        item.state = UndoState::Kept;
        item.why = "\"" + e.origin + "\" exists again";
    } else if (MoveNoReplacing(item.inGood, e.origin, item.why)) {
        item.state = UndoState::MovedBack;
    } else {
        item.state = UndoState::Kept;
    }
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
        error = "cannot record the move in \"" + folder + "\": " + SystemError(errno);
        return false;
    }
    std::string text = std::string(kHeader) + "\n";
    for (const JournalEntry& e : entries)
        text += std::string(e.video ? "video" : "file") + "\t" + Escape(e.origin) + "\t" +
                Escape(e.name) + "\n";
    std::string path;
    for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
        path = folder + "/" + RecordName();
        fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0 || !WriteAll(fd_, text.data(), text.size()) || fsync(fd_) != 0 ||
        !SyncFolder(folder) || !SyncFolder(good)) {
        error = "cannot record the move in \"" + folder + "\": " + SystemError(errno);
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
    if (fd_ < 0 || broken_) return Fail(error, "the record cannot be added to");
    if (lstat((good_ + "/" + name).c_str(), &st) != 0) return Fail(error, OsError(name));
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "\t%" PRIu64 "\t%" PRId64 "\n",
                  std::uint64_t(st.st_size), MtimeNs(st));
    const std::string line = "written\t" + Escape(name) + numbers;
    if (!WriteAll(fd_, line.data(), line.size()) || fsync(fd_) != 0) {
        broken_ = true;
        return Fail(error, OsError("cannot add to the move's record"));
    }
    return true;
}

bool ParseMoveRecord(const std::string& text, std::vector<JournalEntry>& entries) {
    entries.clear();
    const std::size_t end = text.rfind('\n');
    if (end == std::string::npos || text.compare(0, sizeof kHeader, std::string(kHeader) + "\n"))
        return false;
    std::size_t start = sizeof kHeader;
    while (start <= end) {
        const std::size_t stop = text.find('\n', start);
        const std::vector<std::string> f = Fields(text.substr(start, stop - start));
        start = stop + 1;
        JournalEntry e;
        if (f.size() == 3 && (f[0] == "file" || f[0] == "video")) {
            e.video = f[0] == "video";
            if (Unescape(f[1], e.origin) && Unescape(f[2], e.name) && PlainName(e.name) &&
                !e.origin.empty() && e.origin[0] == '/')
                entries.push_back(e);
        } else if (f.size() == 4 && f[0] == "written") {
            std::string name;
            std::uint64_t size = 0, mtime = 0;
            if (!Unescape(f[1], name) || !ParseNumber(f[2], size) || !ParseNumber(f[3], mtime))
                continue;
            for (JournalEntry& v : entries) {
                if (!v.video || v.name != name) continue;
                v.written = true;
                v.size = size;
                v.mtimeNs = std::int64_t(mtime);
            }
        }
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
    return std::any_of(items.begin(), items.end(), [](const UndoItem& i) {
        return i.state == UndoState::Kept || i.state == UndoState::Missing;
    });
}

bool UndoMoves(const std::string& good, UndoReport& report, std::string& error) {
    report = UndoReport();
    struct stat st {};
    if (stat(good.c_str(), &st) != 0) return Fail(error, OsError("\"" + good + "\""));
    if (!S_ISDIR(st.st_mode)) return Fail(error, "\"" + good + "\" is not a folder");
    const std::string folder = good + "/" + kMoveJournalFolder;
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        if (errno == ENOENT) return true;
        return Fail(error, OsError("\"" + folder + "\""));
    }
    std::vector<std::string> names;
    while (const dirent* d = readdir(dir)) {
        const std::string name = d->d_name;
        if (name.size() > sizeof kSuffix &&
            name.compare(name.size() - (sizeof kSuffix - 1), std::string::npos, kSuffix) == 0)
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.rbegin(), names.rend());

    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        std::string text;
        std::vector<JournalEntry> entries;
        if (!ReadText(path, text) || !ParseMoveRecord(text, entries)) continue;
        ++report.records;
        const std::size_t first = report.items.size();
        for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
            UndoItem item;
            item.entry = *e;
            UndoEntry(good, item);
            report.items.push_back(item);
        }
        const bool complete =
            std::none_of(report.items.begin() + std::ptrdiff_t(first), report.items.end(),
                         [](const UndoItem& i) {
                             return i.state == UndoState::Kept || i.state == UndoState::Missing;
                         });
        if (!complete) continue;
        // A copy into Good that a crash cut short is the move's own leftover.
        for (const JournalEntry& e : entries) {
            const std::string partial = good + "/" + PartialCopyName(e.name);
            if (lstat(partial.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(partial.c_str());
        }
        if (unlink(path.c_str()) == 0) ++report.cleared;
    }
    SyncFolder(folder);
    rmdir(folder.c_str());  // only when empty
    SyncFolder(good);
    return true;
}

}  // namespace framesifter
