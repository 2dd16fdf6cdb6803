#pragma once
// Where a frame's analysis window is taken.

namespace framesifter {

enum class WindowMode {
    Centre,  // at the frame's centre
    Peak,    // on the brightest green pixel (bitmaps) or the intensity centroid (FITS)
};

}  // namespace framesifter
