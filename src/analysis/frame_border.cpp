#include "frame_border.h"

namespace framesifter {

void FrameBorder::start(int width, int height) {
    width_ = width;
    height_ = height;
    const bool enough = width >= kLength && height >= kLength;
    top_.assign(enough ? std::size_t(width / kLength) : 0, 0.0);
    bottom_.assign(top_.size(), 0.0);
    left_.assign(enough ? std::size_t(height / kLength) : 0, 0.0);
    right_.assign(left_.size(), 0.0);
    gathered_ = enough;
}

const std::vector<double>& FrameBorder::blocks(FrameSide side) const {
    switch (side) {
    case FrameSide::Top:
        return top_;
    case FrameSide::Bottom:
        return bottom_;
    case FrameSide::Left:
        return left_;
    case FrameSide::Right:
        break;
    }
    return right_;
}

}  // namespace framesifter
