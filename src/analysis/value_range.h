#pragma once
// Windows of values far from 1 in magnitude: the transform squares its amplitudes, which
// overflow from values of about 1e154 on and lose their digits in the smallest doubles. Scaled
// by a power of two the transform gives the very same bits, scaled; so such a window is
// analysed scaled and its profile scaled back, and only a profile that does not fit a double
// at all leaves its frame unanalysed.

#include <cstddef>
#include <string>

namespace framesifter {

// The power of two that brings the largest magnitude of `values` near 1 when it lies
// beyond 2^±256, else 0 (such windows are transformed as they are).
int RangeExponent(const double* values, std::size_t count);

// values[k] * 2^exponent, exactly unless the result leaves the range of doubles.
void ScaleByPowerOfTwo(double* values, std::size_t count, int exponent);

// "" when the profile's bins add up to a finite number, so that any band of them does;
// otherwise why the frame cannot be analysed.
std::string ProfileRangeProblem(const double* profile);

}  // namespace framesifter
