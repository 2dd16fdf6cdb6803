#include "file_io.h"

#include "no_replace.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace framesifter {

namespace {

// A new file filled by `fill`, under a name of its own beside `path` so that a rename can
// place it; `temp` receives that name.
bool WriteTemporary(const std::string& path, const FileFiller& fill, std::string& temp,
                    std::string& error) {
    static std::atomic<unsigned> serial{0};
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "." + base + "." + std::to_string(::getpid()) + "-" +
               std::to_string(serial++) + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return Fail(error, OsError("cannot create a file in its folder"));
    bool ok = fill(fd, error);
    // Flushed before the rename: after a crash the name holds the whole file or nothing.
    if (ok && ::fsync(fd) != 0) ok = Fail(error, OsError("write error"));
    if (::close(fd) != 0 && ok) ok = Fail(error, OsError("write error"));
    if (ok) return true;
    ::unlink(temp.c_str());
    return false;
}

FileFiller BytesFiller(const void* data, std::size_t size) {
    return [data, size](int fd, std::string& error) {
        return WriteAll(fd, data, size) || Fail(error, OsError("write error"));
    };
}

}  // namespace

std::string SystemError(int code) { return std::strerror(code); }

std::string OsError(const std::string& what) { return what + ": " + SystemError(errno); }

bool Fail(std::string& error, std::string reason) {
    error = std::move(reason);
    return false;
}

bool ReadAt(int fd, void* data, std::size_t size, std::uint64_t offset, std::size_t& got) {
    char* p = static_cast<char*>(data);
    got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, p + got, size - got, off_t(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += std::size_t(n);
    }
    return true;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

bool ReadAllBytes(const ByteSource& source, std::vector<std::uint8_t>& bytes, std::string& error) {
    if (source.size() > kMaxFrameFileBytes)
        return Fail(error, "file too large: " + std::to_string(source.size()) + " bytes");
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
    if (::lstat(path.c_str(), &st) == 0) return Fail(error, "already exists");
    std::string temp;
    if (!WriteTemporary(path, fill, temp, error)) return false;
    const int code = RenameNoReplace(temp, path);
    if (code == 0) return true;
    ::unlink(temp.c_str());
    return Fail(error, code == EEXIST ? "already exists" : "cannot create: " + SystemError(code));
}

bool ReplaceFile(const std::string& path, const void* data, std::size_t size, std::string& error) {
    std::string temp;
    if (!WriteTemporary(path, BytesFiller(data, size), temp, error)) return false;
    if (::rename(temp.c_str(), path.c_str()) == 0) return true;
    const std::string reason = OsError("cannot create");
    ::unlink(temp.c_str());
    return Fail(error, reason);
}

}  // namespace framesifter
