#include "frame_border.h"

namespace framesifter {

void FrameBorder::start(int width, int height) {
    width_ = width;
    height_ = height;
    top_.assign(std::size_t(width / kDepth), 0.0);
    bottom_.assign(std::size_t(width / kDepth), 0.0);
    left_.assign(std::size_t(height / kDepth), 0.0);
    right_.assign(std::size_t(height / kDepth), 0.0);
    gathered_ = width >= kDepth && height >= kDepth;
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
