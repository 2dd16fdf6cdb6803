#pragma once
// Moving passed frames into a "Good" folder beside them without ever replacing or
// losing a file.

#include <string>
#include <vector>

struct MoveOutcome {
    std::string source;
    std::string target;   // <folder of source>/Good/<name>
    bool moved = false;
    std::string error;    // why it did not move
};

// Moves one file into "Good" in its own folder, creating the folder when needed.
// Never replaces an existing file; across file systems the data are copied, flushed
// and compared before the source is removed.
MoveOutcome MoveToGood(const std::string& source);

// Every file in order; every outcome is returned.
std::vector<MoveOutcome> MovePassedFiles(const std::vector<std::string>& sources);
