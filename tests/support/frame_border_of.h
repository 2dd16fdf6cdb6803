#pragma once
// A frame's edge blocks gathered straight from its values, to hold a reader's against.

#include "frame.h"
#include "frame_border.h"

#include <vector>

// All four edges' blocks in one list: top, bottom, left, right.
inline std::vector<double> EdgeBlocks(const framesifter::FrameBorder& border) {
    using framesifter::FrameSide;
    std::vector<double> out;
    for (FrameSide side : {FrameSide::Top, FrameSide::Bottom, FrameSide::Left, FrameSide::Right})
        out.insert(out.end(), border.blocks(side).begin(), border.blocks(side).end());
    return out;
}

// value(x, y) of a width x height frame, offered row by row from the top.
template <typename Value>
std::vector<double> EdgeBlocksOf(int width, int height, Value value) {
    framesifter::FrameBorder border;
    border.start(width, height);
    for (int y = 0; y < height; ++y) border.offerRow(y, [&](int x) { return value(x, y); });
    return EdgeBlocks(border);
}

// A decoded frame's: green for bitmaps, the value for FITS.
inline std::vector<double> EdgeBlocksOf(const framesifter::Frame& frame) {
    return EdgeBlocksOf(frame.width, frame.height, [&](int x, int y) {
        return frame.kind == framesifter::FrameKind::Bitmap ? double(frame.green(x, y))
                                                            : double(frame.plane[x][y]);
    });
}
