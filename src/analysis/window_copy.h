#pragma once
// Copies an N x N block of 8-bit samples (rows of a bitmap) into a window indexed [x][y].
// The window is column-major, so a row written straight into it touches one cache line per
// pixel; bands of rows are written a column piece at a time instead.

#include "planes.h"

#include <cstddef>
#include <cstdint>

namespace framesifter {

// window[i][j] = first[j * rowStride + i * pixelStep] for i, j in 0..N-1. rowStride may be
// negative (rows stored bottom up).
void SamplesToWindow(const std::uint8_t* first, std::ptrdiff_t rowStride, std::size_t pixelStep,
                     int N, IntPlane& window);

}  // namespace framesifter
