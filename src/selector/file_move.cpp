#include "file_move.h"

#include "no_replace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string SystemError(int code) { return std::strerror(code); }

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = path;
    } else {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

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

bool SameContents(const std::string& a, const std::string& b) {
    FILE* fa = std::fopen(a.c_str(), "rb");
    FILE* fb = std::fopen(b.c_str(), "rb");
    bool same = fa && fb;
    std::vector<char> ba(1 << 16), bb(1 << 16);
    while (same) {
        const std::size_t na = std::fread(ba.data(), 1, ba.size(), fa);
        const std::size_t nb = std::fread(bb.data(), 1, bb.size(), fb);
        if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0) same = false;
        if (na == 0 || na < ba.size()) break;
    }
    if (same && (std::ferror(fa) || std::ferror(fb))) same = false;
    if (fa) std::fclose(fa);
    if (fb) std::fclose(fb);
    return same;
}

// Copies source to a target that must not exist yet, flushes it to disk, compares it, and
// only then removes the source. Any failure removes the partial copy and keeps the source.
bool CopyThenRemove(const std::string& source, const std::string& target, std::string& error) {
    const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = "cannot read it: " + SystemError(errno);
        return false;
    }
    struct stat st {};
    fstat(in, &st);
    const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                         st.st_mode & 07777);
    if (out < 0) {
        const int code = errno;
        close(in);
        error = code == EEXIST ? "\"" + target + "\" already exists"
                               : "cannot create \"" + target + "\": " + SystemError(code);
        return false;
    }
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    int code = 0;
    for (;;) {
        const ssize_t n = read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) { ok = false; code = errno; break; }
        if (n == 0) break;
        if (!WriteAll(out, buffer.data(), std::size_t(n))) { ok = false; code = errno; break; }
    }
    if (ok && fsync(out) != 0) { ok = false; code = errno; }
    if (close(out) != 0 && ok) { ok = false; code = errno; }
    close(in);
    if (ok && !SameContents(source, target)) { ok = false; code = EIO; }
    if (!ok) {
        unlink(target.c_str());
        error = "copying it into \"" + target + "\" failed: " + SystemError(code);
        return false;
    }
    if (unlink(source.c_str()) != 0) {
        // The copy is complete and verified, but the original stays: remove the copy so
        // the frame still exists exactly once.
        code = errno;
        unlink(target.c_str());
        error = "cannot remove it from its folder: " + SystemError(code);
        return false;
    }
    return true;
}

bool MoveNoReplace(const std::string& source, const std::string& target, std::string& error) {
    const int code = RenameNoReplace(source, target);
    if (code == 0) return true;
    if (code == EXDEV) return CopyThenRemove(source, target, error);
    if (code == EEXIST || code == ENOTEMPTY)
        error = "\"" + target + "\" already exists";
    else if (code == ENOENT)
        error = "it no longer exists";
    else
        error = SystemError(code);
    return false;
}

}  // namespace

MoveOutcome MoveToGood(const std::string& source) {
    MoveOutcome outcome;
    outcome.source = source;
    std::string folder, name;
    SplitPath(source, folder, name);
    const std::string good = folder == "/" ? "/Good" : folder + "/Good";
    outcome.target = good + "/" + name;

    struct stat st {};
    if (lstat(source.c_str(), &st) != 0) {
        outcome.error = errno == ENOENT ? "it no longer exists" : SystemError(errno);
        return outcome;
    }
    if (!S_ISREG(st.st_mode)) {
        outcome.error = "it is not a regular file";
        return outcome;
    }
    if (!EnsureGoodFolder(good, outcome.error)) return outcome;
    outcome.moved = MoveNoReplace(source, outcome.target, outcome.error);
    return outcome;
}

std::vector<MoveOutcome> MovePassedFiles(const std::vector<std::string>& sources) {
    std::vector<MoveOutcome> outcomes;
    outcomes.reserve(sources.size());
    for (const std::string& source : sources) outcomes.push_back(MoveToGood(source));
    return outcomes;
}
