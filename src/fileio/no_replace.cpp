#include "no_replace.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace framesifter {

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    int code = errno;
    if (code != EINVAL && code != ENOSYS && code != ENOTSUP) return code;
    if (link(from.c_str(), to.c_str()) != 0) {
        code = errno;
        return code == EPERM || code == ENOTSUP || code == EOPNOTSUPP ? EXDEV : code;
    }
    if (unlink(from.c_str()) == 0) return 0;
    // Both names now hold the file: drop the new one so that it exists exactly once.
    code = errno;
    unlink(to.c_str());
    return code;
}

}  // namespace framesifter
