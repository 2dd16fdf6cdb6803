#pragma once
// A frame's frequency characteristic: a 256 x 256 window, its centred 2-D FFT, and the
// radial sum of the amplitudes.

#include "frame.h"
#include "selector_state.h"

enum class WindowMode { Centre, Peak };

// The peak-mode corner of a FITS frame from its intensity sums S = sum v, Sx = sum v*x,
// Sy = sum v*y (rows top first, columns left to right within a row).
void CornerFromCentroid(double s, double sx, double sy, int width, int height, int N, int& x0,
                        int& y0);
// Chooses the window's top-left corner in a frame of at least N x N pixels.
void WindowCorner(const Frame& frame, int N, WindowMode mode, int& x0, int& y0);
// Copies the window at the corner into frameWindow[i][j] (green byte, or FITS value).
void CopyWindow(const Frame& frame, int x0, int y0, int N, IntPlane& frameWindow);
// Both of the above into state.FrameWindow. Requires width and height >= FftSize.
void TakeWindow(const Frame& frame, WindowMode mode, SelectorState& state);

// Exchanges the quadrants of p diagonally through temp (both N x N).
void QuadrantSwap(RealPlane& p, RealPlane& temp, int N);
// Replaces (im, re) by their centred 2-D forward transform, divided by N*N.
int FrequencyTransform2D(RealPlane& im, RealPlane& re, SelectorState& state);
// profile[0..399] = sums of amplitudes by truncated distance from (127.5, 127.5)
// (generally (N-1)/2).
void RadialProfile(const RealPlane& re, const RealPlane& im, int N, double* profile);
// SpecRe = SpecIm = FrameWindow, transform, profile into state.Profile.
void AnalyseFrame(SelectorState& state);
