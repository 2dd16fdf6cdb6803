#pragma once
// The largest frame any reader accepts, whatever its format.

#include <cstdint>
#include <string>

namespace framesifter {

// The largest frame, per side, in every format.
constexpr int kMaxFrameSide = 16000;
constexpr std::uint64_t kMaxFramePixels = std::uint64_t(kMaxFrameSide) * kMaxFrameSide;

// "image too large: W x H pixels declared (at most 16000 x 16000)"
std::string TooLargeReason(long long width, long long height);

}  // namespace framesifter
