#pragma once
// What the program knows about frame files by their names and sizes: which extensions are
// frames, and the largest frame any reader accepts.

#include <cstdint>
#include <string>

namespace framesifter {

enum class FrameFormat { Unknown, Bmp, Jpeg, Fits };

// The largest frame, per side, in every format.
constexpr int kMaxFrameSide = 16000;
constexpr std::uint64_t kMaxFramePixels = std::uint64_t(kMaxFrameSide) * kMaxFrameSide;

// The reason given for a name whose extension is none of the frame formats.
extern const char kNotAFrameName[];

// The part of the file name from its last dot on, dot included; "" when there is none.
std::string FileExtension(const std::string& path);

// By the extension, compared without regard to case: .bmp; .jpg/.jpeg; .fit/.fts/.fits.
// Takes a path, a file name or a bare extension such as ".fit".
FrameFormat FrameFormatOf(const std::string& path);

// "image too large: W x H pixels declared (at most 16000 x 16000)"
std::string TooLargeReason(long long width, long long height);

}  // namespace framesifter
