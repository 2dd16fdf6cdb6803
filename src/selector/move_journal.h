#pragma once
// The record a move keeps in its Good folder of what it is about to move where, written
// before the first file moves, and the undo that reads it back.
//
// A record is one text file Good/.framesifter-moves/<UTC time>-<pid>.txt of lines ending in a
// newline; fields are separated by tabs, with "\\", "\t" and "\n" escaped as \\ \t \n:
//   framesifter-moves 1
//   file    ORIGIN  NAME                 a file or link moved from ORIGIN to Good/NAME
//   video   ORIGIN  NAME                 frames of the video ORIGIN written as Good/NAME
//   written NAME    SIZE  MTIME_NS       Good/NAME was complete with this size and time
// ORIGIN is absolute. A line without its newline (a write cut off) and any line not of these
// forms are ignored.

#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

// The folder in Good that holds the records; hidden, and not a frame's name.
extern const char kMoveJournalFolder[];

struct JournalEntry {
    bool video = false;  // a video's frames written into a new video, not a move
    std::string origin;  // absolute
    std::string name;    // in Good
    // A video: the new video was complete with this size and modification time.
    bool written = false;
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
    bool start(const std::string& good, const std::vector<JournalEntry>& entries,
               std::string& error);
    // Good/name has just been written whole: its size and time go into the record.
    bool noteWritten(const std::string& name, std::string& error);

private:
    std::string good_;
    int fd_ = -1;
    bool broken_ = false;  // a write failed: nothing more is appended after a cut-off line
};

// The entries of a record's text, up to its last complete line; false when it is not one.
bool ParseMoveRecord(const std::string& text, std::vector<JournalEntry>& entries);

// The origin of a path as a record keeps it: relative paths are made absolute.
std::string AbsoluteOrigin(const std::string& path);

enum class UndoState {
    MovedBack,  // the file is at its origin again
    Removed,    // a video written into Good was removed, unchanged
    NotMoved,   // nothing to do: the file never left its origin, or the video is gone
    Kept,       // stays in Good: `why` says why
    Missing,    // in neither place
};

struct UndoItem {
    JournalEntry entry;
    std::string inGood;  // Good/NAME
    UndoState state = UndoState::NotMoved;
    std::string why;
};

struct UndoReport {
    std::vector<UndoItem> items;  // the newest record's first
    int records = 0;              // records found
    int cleared = 0;              // records undone completely and removed
    // Something stays in Good or is missing.
    bool incomplete() const;
};

// Undoes every move recorded in `good`, newest first. A file moves back only where nothing
// is at its origin now, never replacing anything; a video written into Good is removed only
// when its size and time are still those recorded. A record all of whose entries are back
// (or never left) is removed; one with a file kept in Good stays for another attempt. False
// only when `good` cannot be read as a folder.
bool UndoMoves(const std::string& good, UndoReport& report, std::string& error);

}  // namespace framesifter
