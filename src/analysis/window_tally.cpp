#include "window_tally.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace framesifter {

namespace {

template <typename T>
WindowTally Tally(const T* window, int N, T ceiling) {
    WindowTally tally;
    if (N <= 0) return tally;
    double sum = 0;
    T low = window[0], high = window[0];
    for (int i = 0; i < N; ++i) {
        const T* column = window + std::size_t(i) * std::size_t(N);
        for (int j = 0; j < N; j += 2) {
            const T a = column[j];
            const bool paired = j + 1 < N;
            const T b = paired ? column[j + 1] : T(0);
            sum += double(a) + double(b);
            low = std::min(low, paired ? std::min(a, b) : a);
            high = std::max(high, paired ? std::max(a, b) : a);
            tally.atCeiling += double(a >= ceiling) + double(paired && b >= ceiling);
            tally.hash += TallyPair(TallyWord(a), paired ? TallyWord(b) : 0u, i, j);
        }
    }
    tally.low = double(low);
    tally.high = double(high);
    const double pixels = double(N) * double(N);
    tally.mean = sum / pixels;
    // Values near the largest double add up beyond it; such a window is added up again wide.
    if (!std::isfinite(sum)) {
        long double wide = 0;
        for (std::size_t p = 0; p < std::size_t(N) * std::size_t(N); ++p) wide += window[p];
        tally.mean = double(wide / pixels);
    }
    return tally;
}

}  // namespace

WindowTally TallyWindow(const std::int32_t* window, int N, std::int32_t ceiling) {
    return Tally(window, N, ceiling);
}

WindowTally TallyWindow(const double* window, int N) {
    return Tally(window, N, std::numeric_limits<double>::infinity());
}

}  // namespace framesifter
