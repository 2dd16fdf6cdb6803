#pragma once
// A frame as a value: its file, and its number when the file is a video. Text becomes a
// FrameRef where it enters (arguments, dialogs, records read back) and text again where it
// leaves (CSV, messages, records written), as "PATH#N" for a video's frame N.

#include <string>
#include <vector>

namespace framesifter {

struct FrameRef {
    std::string file;
    int frame = 0;  // from 1 within a video; 0 for a still file

    bool inVideo() const { return frame > 0; }
    bool operator==(const FrameRef& o) const { return frame == o.frame && file == o.file; }
    bool operator!=(const FrameRef& o) const { return !(*this == o); }
};

// "PATH#N" is frame N of the video PATH only for N a decimal number of at least 1, without
// sign or leading zeros, that fits in an int, and PATH a video's name with something before
// its extension; any other text is a still file of that name (which may then be no frame:
// "v.ser#0", "v.ser#01", "x.fit#2").
FrameRef ParseFrameRef(const std::string& text);
// "PATH#N" for a video's frame, the path for a still file.
std::string FrameRefText(const FrameRef& ref);

// Why `path`, which is no frame by its name, cannot be read: for PATH#N with a number that is
// no frame (0, -1, 01, ...), what the video's frames are; else the reason NotAFrameName.
std::string NotAFrameReason(const std::string& path);
// Why frame `ref` cannot be read when its video would not open with `error`: that error,
// unless the video does not exist while a file named as the whole entry does; that file is
// then said to be no frame, rather than missing.
std::string UnopenedVideoReason(const FrameRef& ref, const std::string& error);

// The most entries one list of frames may hold.
constexpr std::size_t kMaxFrameEntries = 100000;

// Frame n (from 1) of `video` as a list holds it. A video named by its extension alone has
// frames that no "PATH#N" names: each stays that text, a still file's name that reads as none.
FrameRef FrameOfVideo(const std::string& video, int n);

// The chosen files and frames as the frames they stand for, in order: a video chosen whole
// becomes its frames 1 .. count (only its header is read), anything else stays itself. False
// with a reason naming the video when a video cannot be read or the frames would pass
// kMaxFrameEntries.
[[nodiscard]] bool ExpandFrameEntries(const std::vector<FrameRef>& chosen,
                                      std::vector<FrameRef>& frames, std::string& error);
// A video's frame count from its header alone, for a path the table calls a video. False
// with the reader's reason.
[[nodiscard]] bool ReadVideoFrameCount(const std::string& video, int& frameCount,
                                       std::string& error);

}  // namespace framesifter
