#include "frame_limits.h"

namespace framesifter {

std::string TooLargeReason(long long width, long long height) {
    const std::string side = std::to_string(kMaxFrameSide);
    return "image too large: " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels declared (at most " + side + " x " + side + ")";
}

}  // namespace framesifter
