#include "byte_source.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string OsError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }
}  // namespace

ByteSource::~ByteSource() {
    if (fd_ >= 0) ::close(fd_);
}

int ByteSource::open(const std::string& path, std::string& error) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    bytes_ = nullptr;
    size_ = 0;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = OsError("cannot open");
        return 1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = OsError("cannot examine");
    } else if (S_ISDIR(st.st_mode)) {
        error = "cannot open: Is a directory";
    } else if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
    } else {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        fd_ = fd;
        size_ = std::uint64_t(st.st_size);
        return 0;
    }
    ::close(fd);
    return 1;
}

const std::uint8_t* ByteSource::view(std::uint64_t offset, std::size_t n,
                                     std::vector<std::uint8_t>& scratch,
                                     std::string& error) const {
    if (offset > size_ || n > size_ - offset) {
        error = "truncated: the file ends at byte " + std::to_string(size_) + " before byte " +
                std::to_string(offset + n);
        return nullptr;
    }
    static const std::uint8_t kNothing = 0;
    if (n == 0) return bytes_ ? bytes_ + offset : &kNothing;   // never null for success
    if (bytes_) return bytes_ + offset;
    if (fd_ < 0) {
        error = "no file is open";
        return nullptr;
    }
    try {
        if (scratch.size() < n) scratch.resize(n);
    } catch (const std::bad_alloc&) {
        error = "not enough memory to read " + std::to_string(n) + " bytes";
        return nullptr;
    }
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd_, scratch.data() + done, n - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = OsError("read error");
            return nullptr;
        }
        if (got == 0) {   // the file shrank after it was opened
            error = "truncated: the file ends at byte " + std::to_string(offset + done) +
                    " before byte " + std::to_string(offset + n);
            return nullptr;
        }
        done += std::size_t(got);
    }
    return scratch.data();
}

int ReadAllBytes(const ByteSource& source, std::vector<std::uint8_t>& bytes, std::string& error) {
    if (source.size() > kMaxFrameFileBytes) {
        error = "file too large: " + std::to_string(source.size()) + " bytes";
        return 1;
    }
    const std::size_t n = std::size_t(source.size());
    if (source.memory()) {
        bytes.assign(source.memory(), source.memory() + n);
        return 0;
    }
    const std::uint8_t* p = source.view(0, n, bytes, error);
    if (!p) return 1;
    bytes.resize(n);
    return 0;
}
