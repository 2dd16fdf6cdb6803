#pragma once
// What the program knows about frame files by their names and sizes: which extensions are
// frames, and the largest frame any reader accepts.

#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

enum class FrameFormat { Unknown, Bmp, Jpeg, Fits, Ser };

// The largest frame, per side, in every format.
constexpr int kMaxFrameSide = 16000;
constexpr std::uint64_t kMaxFramePixels = std::uint64_t(kMaxFrameSide) * kMaxFrameSide;

// The reason given for a name whose extension is none of the frame formats.
extern const char kNotAFrameName[];
// The reason given for a video named without one of its frames.
extern const char kVideoWithoutFrame[];

// The part of the file name from its last dot on, dot included; "" when there is none.
std::string FileExtension(const std::string& path);

// By the extension, compared without regard to case: .bmp; .jpg/.jpeg; .fit/.fts/.fits/.fz;
// .ser (a video, whose frames are named by entries).
// Takes a path, a file name or a bare extension such as ".fit".
FrameFormat FrameFormatOf(const std::string& path);

// A video's frame is named by the entry "PATH#N", N counted from 1. True, with the video's
// path and N, only for <name>.ser#N with N a decimal number of at least 1, without sign or
// leading zeros, that fits in an int; anything else is a plain path (false).
bool SplitFrameEntry(const std::string& entry, std::string& path, int& frame);
// "PATH#N"
std::string FrameEntry(const std::string& path, int frame);

// Why `path`, which is no frame by its name, cannot be read: for PATH#N with a number that is
// no frame (0, -1, 01, ...), what the video's frames are; else kNotAFrameName.
std::string NotAFrameReason(const std::string& path);
// Why the frame `entry` of `video` cannot be read when the video would not open with `error`:
// that error, unless the video does not exist while a file named `entry` does; that file is
// then said to be no frame, rather than missing.
std::string UnopenedVideoReason(const std::string& entry, const std::string& video,
                                const std::string& error);

// The most entries one list of frames may hold.
constexpr std::size_t kMaxFrameEntries = 100000;

// The chosen paths as entries, in order: a video becomes its frames PATH#1 .. PATH#count
// (only its header is read), any other path stays itself. False with a reason naming the
// video when a video cannot be read or the entries would pass kMaxFrameEntries.
bool ExpandFrameEntries(const std::vector<std::string>& paths, std::vector<std::string>& entries,
                        std::string& error);

// "image too large: W x H pixels declared (at most 16000 x 16000)"
std::string TooLargeReason(long long width, long long height);

}  // namespace framesifter
