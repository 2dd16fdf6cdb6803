#include "byte_source.h"
#include "reason.h"

#include "system_calls.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace framesifter {

ByteSource::~ByteSource() {
    if (fd_ >= 0) ::close(fd_);
}

bool ByteSource::open(const std::string& path, std::string& error) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    bytes_ = nullptr;
    size_ = 0;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever. It is
    // kept: reads of a regular file never block short or fail for it, and a flag change costs
    // two calls a frame.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(error, SystemReason(ReasonKind::CannotOpen));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = SystemReason(ReasonKind::CannotExamine);
    } else if (S_ISDIR(st.st_mode)) {
        error = Reason(ReasonKind::CannotOpen, {"Is a directory"});
    } else if (!S_ISREG(st.st_mode)) {
        error = Reason(ReasonKind::NotRegularFile);
    } else {
        fd_ = fd;
        size_ = std::uint64_t(st.st_size);
        return true;
    }
    ::close(fd);
    return false;
}

void ByteSource::adopt(std::vector<std::uint8_t>&& bytes) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    owned_ = std::move(bytes);
    bytes_ = owned_.data();
    size_ = owned_.size();
}

bool ByteSource::readInto(std::uint64_t offset, std::size_t n, std::uint8_t* to,
                          std::string& error) const {
    if (!within(offset, n, error)) return false;
    if (bytes_) {
        std::copy_n(bytes_ + offset, n, to);
        return true;
    }
    bool fromDisk = false;
    return fill(offset, n, to, error, false, fromDisk);
}

void ByteSource::willNeed(std::uint64_t offset, std::uint64_t n) const {
    if (fd_ < 0 || offset >= size_) return;
    (void)::posix_fadvise(fd_, off_t(offset), off_t(std::min(n, size_ - offset)),
                          POSIX_FADV_WILLNEED);
}

const std::uint8_t* ByteSource::view(std::uint64_t offset, std::size_t n,
                                     std::vector<std::uint8_t>& scratch, std::string& error) const {
    bool fromDisk = false;
    return read(offset, n, scratch, error, false, fromDisk);
}

const std::uint8_t* ByteSource::view(std::uint64_t offset, std::size_t n,
                                     std::vector<std::uint8_t>& scratch, std::string& error,
                                     bool& fromDisk) const {
    return read(offset, n, scratch, error, true, fromDisk);
}

bool ByteSource::within(std::uint64_t offset, std::size_t n, std::string& error) const {
    if (offset <= size_ && n <= size_ - offset) return true;
    error = Reason(ReasonKind::FileEndsBefore, {size_, offset + n});
    return false;
}

bool ByteSource::fill(std::uint64_t offset, std::size_t n, std::uint8_t* to, std::string& error,
                      bool cachedFirst, bool& fromDisk) const {
    if (fd_ < 0) return Fail(error, Reason(ReasonKind::NoFileOpen));
    const std::size_t cached = cachedFirst ? ReadCachedAt(fd_, to, n, offset) : 0;
    fromDisk = cached < n;
    std::size_t got = 0;
    if (cached < n && !ReadAt(fd_, to + cached, n - cached, offset + cached, got))
        return Fail(error, SystemReason(ReasonKind::ReadError));
    got += cached;
    if (got < n)  // the file shrank after it was opened
        return Fail(error, Reason(ReasonKind::FileEndsBefore, {offset + got, offset + n}));
    return true;
}

const std::uint8_t* ByteSource::read(std::uint64_t offset, std::size_t n,
                                     std::vector<std::uint8_t>& scratch, std::string& error,
                                     bool cachedFirst, bool& fromDisk) const {
    fromDisk = false;
    if (!within(offset, n, error)) return nullptr;
    static const std::uint8_t kNothing = 0;
    if (n == 0) return bytes_ ? bytes_ + offset : &kNothing;  // never null for success
    if (bytes_) return bytes_ + offset;
    if (fd_ < 0) {
        error = Reason(ReasonKind::NoFileOpen);
        return nullptr;
    }
    try {
        if (scratch.size() < n) scratch.resize(n);
    } catch (const std::bad_alloc&) {
        error = Reason(ReasonKind::NoMemoryToRead, {n});

        return nullptr;
    }
    return fill(offset, n, scratch.data(), error, cachedFirst, fromDisk) ? scratch.data() : nullptr;
}

}  // namespace framesifter
