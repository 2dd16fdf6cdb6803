#pragma once
// The record a move keeps in its Good folder of what it is about to move where, written
// before the first file moves, and the undo that reads it back.
//
// A record is one text file Good/.framesifter-moves/<UTC time>-<pid>.txt of lines ending in a
// newline; fields are separated by tabs, with "\\", "\t" and "\n" escaped as \\ \t \n:
//   framesifter-moves 2
//   file    ORIGIN  NAME  SIZE  MTIME_NS   a file or link moved from ORIGIN to Good/NAME, with
//                                          its size and modification time then
//   video   ORIGIN  NAME  FRAMES           frames FRAMES (from 1, "2,5,9") of the video ORIGIN
//                                          written, in that order, as Good/NAME
//   written NAME    SIZE  MTIME_NS         Good/NAME was complete with this size and time
// ORIGIN is absolute. Version 1 records have no SIZE, MTIME_NS and FRAMES on file and video
// lines; they are read all the same. A line without its newline (a write cut off) is not
// read; any other line not of these forms is named and ignored.
//
// Undo trusts no record: a Good folder may come from another disk or an archive. Whatever
// folder ORIGIN names, a file goes back only into the folder that holds Good (where every
// move into it came from), under NAME, a plain name.

#include "checked_move.h"

#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

// The folder in Good that holds the records; hidden, and not a frame's name.
extern const char kMoveJournalFolder[];
// Larger records are named and skipped: no move writes one near that size.
constexpr std::uint64_t kMaxMoveRecordBytes = std::uint64_t(64) << 20;

struct JournalEntry {
    bool video = false;  // a video's frames written into a new video, not a move
    std::string origin;  // absolute, as recorded; an undo report gives where it went back
    std::string name;    // in Good: one plain name
    // A video: its frames written (from 1, in their order there); empty when not recorded.
    std::vector<int> frames;
    // The size and modification time: a file's when it moved, a video's once written.
    bool sizeKnown = false;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
};

// One move's record in one Good folder.
class MoveRecord {
public:
    MoveRecord() = default;
    ~MoveRecord();
    MoveRecord(const MoveRecord&) = delete;
    MoveRecord& operator=(const MoveRecord&) = delete;

    // Creates the record of `entries` in the existing folder `good` and flushes it, with its
    // folder, to the disk.
    [[nodiscard]] bool start(const std::string& good, const std::vector<JournalEntry>& entries,
                             std::string& error);
    // Good/name has just been written whole: its size and time go into the record.
    [[nodiscard]] bool noteWritten(const std::string& name, std::string& error);

private:
    std::string good_;
    int fd_ = -1;
    bool broken_ = false;  // a write failed: nothing more is appended after a cut-off line
};

// The entries of a record's text, up to its last complete line; false when it is not one.
// Lines not taken are described in `ignored` ("line N: why"): unknown or malformed lines,
// names that are not one plain name, a name listed twice, a written line for no video.
[[nodiscard]] bool ParseMoveRecord(const std::string& text, std::vector<JournalEntry>& entries,
                                   std::vector<std::string>* ignored, std::string& error);

// One file in a Good folder's record folder.
struct MoveRecordFile {
    std::string path;
    std::string error;  // why it was not read as a record (empty: it was)
    std::vector<JournalEntry> entries;
    std::vector<std::string> ignored;  // its lines not taken
};

// Every record in `good`, newest first, each opened as frames are (a regular file only,
// never waiting on a named pipe) and read only up to kMaxMoveRecordBytes. False when the
// record folder exists but cannot be read.
[[nodiscard]] bool ReadMoveRecords(const std::string& good, std::vector<MoveRecordFile>& records,
                                   std::string& error);

// The origin of a path as a record keeps it: relative paths are made absolute.
std::string AbsoluteOrigin(const std::string& path);

enum class UndoState {
    MovedBack,  // the file is at its origin again
    Removed,    // a video written into Good was removed, unchanged
    NotMoved,   // nothing to do: the file never left its origin, or the video is gone
    Kept,       // stays in Good: `error` says why
    Missing,    // in neither place
    Ignored,    // a record, or a line of one, that undo does not act on: `error` says why
};

struct UndoItem {
    JournalEntry entry;  // its origin: where the file goes back (or the video it came from)
    std::string inGood;  // Good/NAME; for an ignored record or line, the record
    UndoState state = UndoState::NotMoved;
    std::string error;
};

struct UndoReport {
    std::vector<UndoItem> items;  // the newest record's first
    int records = 0;              // records found
    int cleared = 0;              // records undone completely and removed
    bool goodInUse = false;       // another move or undo holds Good: nothing was done
    // A stop came between files: `notTried` recorded files were left as they were, and
    // their records stay for another undo.
    bool stopped = false;
    int notTried = 0;
    // Something stays in Good, is missing, was ignored or was not tried.
    bool incomplete() const;
};

// Why nothing was done in a Good folder that another move or undo holds.
std::string GoodInUseError(const std::string& good);

// Undoes every move recorded in `good`, newest first, holding Good throughout. A file moves
// back only into the folder that holds Good, under its recorded name, and only where nothing
// is now, never replacing anything; a copy in Good of the same bytes as the file back in its
// place (a move or undo killed before it removed one of the two) is removed. A file whose
// size or time differs from the record's stays. A video written into Good is removed only
// when it holds nothing but frames of its video, which still exists beside Good, and its
// size and time, when recorded, are still those. A record all of whose entries are back (or never
// left) is removed; one with a file kept in Good stays for another attempt. False when `good`
// cannot be read as a folder, or when another move or undo holds it (goodInUse).
// control.blockCopied is told of each block a copy back across file systems writes;
// control.progress of each recorded file done, of all the readable records' files; a stop in
// control.stop is seen between files and between the blocks of a copy.
[[nodiscard]] bool UndoMoves(const std::string& good, UndoReport& report, std::string& error);
[[nodiscard]] bool UndoMoves(const std::string& good, const MoveControl& control,
                             UndoReport& report, std::string& error);

}  // namespace framesifter
