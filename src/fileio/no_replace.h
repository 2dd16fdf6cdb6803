#pragma once
// File placement that never replaces a file: the program writes new files under a temporary
// name and moves the user's frames, and neither may overwrite anything the user has.

#include <string>

namespace framesifter {

// Renames `from` to `to` only if `to` does not exist. Returns 0, or the errno of the failure
// (EEXIST when `to` exists, EXDEV across file systems). Where the file system cannot rename
// without replacing, a hard link and an unlink do the same; a file system without hard
// links gives EXDEV, so that the caller can copy instead.
int RenameNoReplace(const std::string& from, const std::string& to);

}  // namespace framesifter
