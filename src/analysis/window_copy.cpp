#include "window_copy.h"

namespace framesifter {

void SamplesToWindow(const std::uint8_t* first, std::ptrdiff_t rowStride, std::size_t pixelStep,
                     int N, IntPlane& window) {
    constexpr int kBand = 16;  // rows whose pieces stay in the first-level cache together
    int j0 = 0;
    for (; j0 + kBand <= N; j0 += kBand) {
        const std::uint8_t* band = first + std::ptrdiff_t(j0) * rowStride;
        for (int i = 0; i < N; ++i) {
            const std::uint8_t* in = band + std::size_t(i) * pixelStep;
            std::int32_t* out = window[i] + j0;
            for (int k = 0; k < kBand; ++k) out[k] = in[std::ptrdiff_t(k) * rowStride];
        }
    }
    for (int j = j0; j < N; ++j) {
        const std::uint8_t* row = first + std::ptrdiff_t(j) * rowStride;
        for (int i = 0; i < N; ++i) window[i][j] = row[std::size_t(i) * pixelStep];
    }
}

}  // namespace framesifter
