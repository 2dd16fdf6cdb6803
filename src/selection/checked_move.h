#pragma once
// Moving one file without ever replacing or losing one: a rename where it can be, across file
// systems a checked copy under a temporary name that becomes the file only once complete.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace framesifter {

// What a move watches and tells, on the moving thread.
struct MoveControl {
    const std::atomic<bool>* stop = nullptr;  // seen between files and between copy blocks
    // After each file of MovePassedFiles: how many of how many are done.
    std::function<void(int done, int total)> progress;
    // After each block copied across file systems: how many bytes of the file are copied.
    std::function<void(std::uint64_t bytesCopied)> blockCopied;
};

// The error of a move that a stop cut short: the file stayed where it was.
extern const std::string kMoveStoppedError;

// Moves `from` (a file, or a symbolic link as such) to `to`, in any direction: never
// replacing; across file systems the data are copied under a temporary name beside `to`
// (PartialCopyName) that no frame can have, locked while written, flushed, compared and
// given the source's times and permissions, and renamed into place only while its name still
// holds it; only then does `from` go. A part file no live process holds is a killed move's
// and is cleared. A stop is seen between the blocks of a copy: the part file is removed,
// `from` stays and `error` is kMoveStoppedError. `recorded`: a record lists `to` as moved in,
// so that a file there of the same bytes is the copy of a move killed before `from` went:
// removing `from` completes it.
[[nodiscard]] bool MoveNoReplacing(const std::string& from, const std::string& to,
                                   std::string& error);
[[nodiscard]] bool MoveNoReplacing(const std::string& from, const std::string& to,
                                   const MoveControl& control, bool recorded, std::string& error);

// The temporary name a copy has before it is complete.
std::string PartialCopyName(const std::string& name);

enum class Duplicate { Removed, Differs, Failed };
struct DuplicateRemoval {
    Duplicate state = Duplicate::Failed;
    std::string error;  // why it Failed
};
// Removes `duplicate` when it holds what `kept` holds: two regular files of the same bytes
// (compared as opened, and removed only while its name still holds what was compared), or
// two symbolic links of the same text; never when both paths reach one directory entry.
DuplicateRemoval RemoveDuplicate(const std::string& duplicate, const std::string& kept);

}  // namespace framesifter
