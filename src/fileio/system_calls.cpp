#include "system_calls.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace framesifter {

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

}  // namespace framesifter
