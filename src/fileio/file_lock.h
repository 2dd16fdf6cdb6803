#pragma once
// Locks that tell a live writer's temporary file from the leftover of a killed one, and a
// folder that one process at a time works in. They are flock locks: they belong to an open
// file, so the system lets go of them however their holder ends.

#include <string>

namespace framesifter {

enum class LockResult {
    Taken,        // now held through this descriptor
    Held,         // another open file holds it: another process, or another part of this one
    Unsupported,  // the file system cannot lock it (errno set); nothing is held
};

// An exclusive lock on the open `fd`, without waiting.
LockResult TryLock(int fd);

// True when `path` still names the very file open as `fd` (not a link to it, not a file
// that took its name since).
bool StillNamed(int fd, const std::string& path);

enum class Leftover {
    None,     // nothing has that name
    Removed,  // it was a leftover and is gone
    InUse,    // a live writer holds it
    Kept,     // it cannot be told or cannot be removed: `error` says why
};

// Removes the temporary file `path` when no live writer holds it: a regular file whose lock
// can be taken, or a symbolic link (created whole, so never half-written). Anything else
// with that name is kept.
Leftover RemoveLeftover(const std::string& path, std::string& error);

// A folder held for one process's work from take() until destruction.
class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Held when someone else holds it. Unsupported when the file system cannot lock a folder:
    // the caller goes on without.
    [[nodiscard]] LockResult take(const std::string& folder, std::string& error);

private:
    int fd_ = -1;
};

}  // namespace framesifter
