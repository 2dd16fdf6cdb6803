#pragma once
// A window's frequency characteristic, the straightforward way: its centred 2-D FFT and the
// radial sum of the amplitudes. The batch run uses the fast profiler; this path serves list
// clicks and is the reference the fast one is tested against.

#include "fft_plan.h"
#include "planes.h"

#include <string>
#include <vector>

namespace framesifter {

// Exchanges the quadrants of p diagonally through temp (both N x N).
void QuadrantSwap(RealPlane& p, RealPlane& temp, int N);
// Replaces (im, re) by their centred 2-D forward transform, divided by N*N (N = plan.size()).
// Only memory can fail: false with a reason when its scratch cannot be had.
[[nodiscard]] bool FrequencyTransform2D(RealPlane& im, RealPlane& re, const FftPlan& plan,
                                        std::string& error);
// profile[0..399] = sums of amplitudes by truncated distance from ((N-1)/2, (N-1)/2).
void RadialProfile(const RealPlane& re, const RealPlane& im, int N, double* profile);
// How many cells of an N x N spectrum RadialProfile adds into each of its kProfileBins bins:
// what noise of the same amplitude in every cell puts into each bin.
std::vector<int> RingCellCounts(int N);
// The characteristic of an N x N window (real = imaginary = window), into profile[0..399].
// False with a reason when the transform's planes cannot be had.
[[nodiscard]] bool AnalyseWindow(const IntPlane& window, const FftPlan& plan, double* profile,
                                 std::string& error);
// The same on a window of real values, window[i * N + j] = column i, row j; values far from 1
// are transformed scaled by a power of two (value_range.h).
[[nodiscard]] bool AnalyseWindow(const double* window, const FftPlan& plan, double* profile,
                                 std::string& error);

}  // namespace framesifter
