#pragma once
// A path's folder and last name, as the moves and the list checks see them.

#include <string>

namespace framesifter {

// "dir/name" -> ("dir", "name"); "name" -> (".", "name"); "/name" -> ("/", "name"). Trailing
// slashes are dropped first: "a/" names the entry "a".
void SplitFolderAndName(const std::string& path, std::string& folder, std::string& name);

}  // namespace framesifter
