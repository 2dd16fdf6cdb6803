#include "system_calls.h"

#include <sys/uio.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace framesifter {

std::string SystemError(int code) { return std::strerror(code); }

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

std::size_t ReadCachedAt(int fd, void* data, std::size_t size, std::uint64_t offset) {
    char* p = static_cast<char*>(data);
    std::size_t got = 0;
    while (got < size) {
        iovec piece{p + got, size - got};
        const ssize_t n = ::preadv2(fd, &piece, 1, off_t(offset + got), RWF_NOWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // not in memory (EAGAIN), the end, or no answer
        got += std::size_t(n);
    }
    return got;
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

}  // namespace framesifter
