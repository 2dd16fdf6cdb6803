#include "window_copy.h"

namespace framesifter {

namespace {

template <bool Lookup>
void CopyRows(const std::uint8_t* first, std::ptrdiff_t rowStride, std::size_t pixelStep,
              const std::uint8_t* lookup, int N, int j0, int count, IntPlane& window) {
    constexpr int kBand = 16;  // rows whose pieces stay in the first-level cache together
    const auto value = [lookup](std::uint8_t v) { return Lookup ? lookup[v] : v; };
    int k0 = 0;
    for (; k0 + kBand <= count; k0 += kBand) {
        const std::uint8_t* band = first + std::ptrdiff_t(k0) * rowStride;
        for (int i = 0; i < N; ++i) {
            const std::uint8_t* in = band + std::size_t(i) * pixelStep;
            std::int32_t* out = window[i] + j0 + k0;
            for (int k = 0; k < kBand; ++k) out[k] = value(in[std::ptrdiff_t(k) * rowStride]);
        }
    }
    for (int k = k0; k < count; ++k) {
        const std::uint8_t* row = first + std::ptrdiff_t(k) * rowStride;
        for (int i = 0; i < N; ++i) window[i][j0 + k] = value(row[std::size_t(i) * pixelStep]);
    }
}

}  // namespace

void SamplesToWindow(const std::uint8_t* first, std::ptrdiff_t rowStride, std::size_t pixelStep,
                     int N, IntPlane& window) {
    CopyRows<false>(first, rowStride, pixelStep, nullptr, N, 0, N, window);
}

void SampleRowsToWindow(const std::uint8_t* first, std::ptrdiff_t rowStride, std::size_t pixelStep,
                        const std::uint8_t* lookup, int N, int j0, int count, IntPlane& window) {
    if (lookup)
        CopyRows<true>(first, rowStride, pixelStep, lookup, N, j0, count, window);
    else
        CopyRows<false>(first, rowStride, pixelStep, nullptr, N, j0, count, window);
}

}  // namespace framesifter
