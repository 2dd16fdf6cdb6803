#pragma once
// Radix-2, in-place, decimation-in-time complex FFT over separate real and imaginary
// arrays, driven by a bit-reversal table and a sine table built once per size.

#include <cstdint>

namespace framesifter {

// table: N entries; entry i is i with its log2(N) low bits reversed.
void BuildBitReverseTable(int N, std::int32_t* table);
// table: N + N/4 entries; entry i = sin(2*pi*i/N), built by recurrence.
void BuildSineTable(int N, double* table);

// n > 0: forward transform of length n, divided by n. n < 0: inverse of length -n,
// not divided. n == 0: nothing. The tables must have been built for |n|.
void FftTransform(int n, const std::int32_t* bitReverseTable, const double* sintbl, double* x,
                  double* y);

}  // namespace framesifter
