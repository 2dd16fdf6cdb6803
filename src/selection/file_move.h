#pragma once
// Moving passed frames into a "Good" folder beside them without ever replacing or
// losing a file.

#include "checked_move.h"

#include <string>
#include <vector>

namespace framesifter {

struct MoveOutcome {
    std::string source;
    // <folder of source>/Good/<name>; for a video's frame VIDEO#N, Good/<video name>#M, its
    // place M in the video written there
    std::string target;
    std::string video;  // the video of a frame entry
    bool moved = false;
    std::string error;         // why it did not move
    bool folderFault = false;  // the error is the Good folder's, shared by its whole folder
    bool stopped = false;      // a stop came first: the file stayed where it was
    bool goodInUse = false;    // the folder fault: another move or undo is working in Good
};

// Moves one file, or a symbolic link as such, into "Good" in its own folder, creating the
// folder when needed. Never replaces an existing file. Across file systems the data are
// copied under a temporary name in Good that no frame can have, flushed, compared and
// given the source's times and permissions; only then is the copy renamed into place and
// the source removed, so that an interrupted move never leaves a damaged frame behind.
// The copy is locked while it is written and renamed only while its name still holds it; a
// temporary file no live process holds is a killed move's and is cleared. A file of the
// same name in Good that a record there lists as moved in, and that holds the same bytes,
// is the copy of a move killed before its source went: the source is removed then.
// A stop (control.stop set, from any thread) is seen between the blocks of a copy: the partial
// copy is removed and the source stays. Good is held (locked) throughout: while another move or
// undo holds it, nothing is done (goodInUse).
MoveOutcome MoveToGood(const std::string& source, const MoveControl& control = {});

// Every file in order; every outcome is returned. Each Good folder is held from before its
// record is written until the end; one that another move or undo holds takes nothing. After a stop
// the files not reached are not attempted: their outcomes say stopped, not moved. The frame entries
// VIDEO#N of one video are not moved but copied, all at once, into a new video Good/<video name>
// beside it (never replacing a file), in frame order; the video itself is left as it is.
std::vector<MoveOutcome> MovePassedFiles(const std::vector<std::string>& sources,
                                         const MoveControl& control = {});

// What did not move, for one report: a Good-folder fault once per folder (with the number
// of files it kept back), any other failure once per file or video, in the order first met.
struct MoveFailure {
    std::string subject;  // the file, or the Good folder for a folder fault
    std::string error;
    int files = 1;
    bool folderFault = false;
    bool goodInUse = false;  // the folder fault: another move or undo is working there
};
std::vector<MoveFailure> SummariseFailures(const std::vector<MoveOutcome>& outcomes);

// <folder of path>/Good
std::string GoodFolderOf(const std::string& path);

}  // namespace framesifter
