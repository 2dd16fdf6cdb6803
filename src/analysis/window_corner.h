#pragma once
// Where a frame's analysis window lies, and copying it out of a decoded frame.

#include "frame.h"
#include "window_mode.h"

namespace framesifter {

// The peak-mode corner of a FITS frame from its intensity sums S = sum v, Sx = sum v*x,
// Sy = sum v*y (rows top first, columns left to right within a row).
void CornerFromCentroid(double s, double sx, double sy, int width, int height, int N, int& x0,
                        int& y0);
// Chooses the window's top-left corner in a frame of at least N x N pixels.
void WindowCorner(const Frame& frame, int N, WindowMode mode, int& x0, int& y0);
// Copies the window at the corner into window[i][j] (green byte, or FITS value).
void CopyWindow(const Frame& frame, int x0, int y0, int N, IntPlane& window);
// Both of the above. Requires width and height >= N.
void TakeWindow(const Frame& frame, WindowMode mode, int N, IntPlane& window);

}  // namespace framesifter
