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

// Rows j0..j0+count-1 of the window from `count` rows starting at `first` (row k of them at
// first + k * rowStride), each sample through `lookup` (a 256-entry table, e.g. a palette's
// green) when it is given: the rows of a file read in pieces, without a copy between.
void SampleRowsToWindow(const std::uint8_t* first, std::ptrdiff_t rowStride, std::size_t pixelStep,
                        const std::uint8_t* lookup, int N, int j0, int count, IntPlane& window);

// The same for samples of two bytes (of `pixelStep` bytes a pixel), in either byte order:
// window[i][j] = the sample at first + j * rowStride + i * pixelStep.
void WordSamplesToWindow(const std::uint8_t* first, std::ptrdiff_t rowStride, std::size_t pixelStep,
                         bool bigEndian, int N, IntPlane& window);

}  // namespace framesifter
