#pragma once
// A frame list must not name one directory entry twice: it would be scored twice and its
// second move would fail.

#include "frame_ref.h"

#include <string>
#include <vector>

namespace framesifter {

struct RepeatedEntry {
    int first = -1;           // index of the earlier path, -1 when every entry is listed once
    int second = -1;          // index of the later path naming the same entry
    bool wholeVideo = false;  // one is a video listed whole, the other one of its frames
};

// Files name the same entry when their folders are one folder (same device and inode) and
// their last components are equal: "a.fit", "./a.fit" and "sub/../a.fit" are one entry,
// while two links to one file are two. A file whose folder cannot be examined is compared
// by its spelling, lexically normalised. A video's frame is named again by the same frame
// of the same video, and by the video listed whole, which stands for all its frames.
RepeatedEntry FindRepeatedEntry(const std::vector<FrameRef>& frames);

// "B is listed twice (also as A)", or for a frame and its whole video, which one holds the
// other.
std::string RepeatedEntryText(const std::vector<FrameRef>& frames, const RepeatedEntry& repeated);

}  // namespace framesifter
