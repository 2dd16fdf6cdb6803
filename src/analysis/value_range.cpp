#include "value_range.h"
#include "reason.h"

#include "analysis_results.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cmath>

namespace framesifter {

namespace {

// Transform sums grow by at most 2^18 over the window; squared from 2^(256 + 18) they stay
// far below the largest double, and from 2^-256 far above the smallest.
constexpr int kPlainExponent = 256;

}  // namespace

int RangeExponent(const double* values, std::size_t count) {
    double largest = 0;
    std::size_t k = 0;
#if defined(__SSE2__)
    // Eight running maxima in vector lanes. MAXPD gives its second operand when either is NaN,
    // so a NaN value leaves a lane as it was, as fmax would; an infinity wins.
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    __m128d m[4] = {_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()};
    for (; k + 8 <= count; k += 8)
        for (int l = 0; l < 4; ++l)
            m[l] = _mm_max_pd(_mm_and_pd(_mm_loadu_pd(values + k + 2 * l), magnitude), m[l]);
    double lanes[8];
    for (int l = 0; l < 4; ++l) _mm_storeu_pd(lanes + 2 * l, m[l]);
    for (double lane : lanes) largest = std::max(largest, lane);
#endif
    for (; k < count; ++k) largest = std::max(largest, std::fabs(values[k]));
    if (!(largest > 0) || !std::isfinite(largest)) return 0;
    const int exponent = std::ilogb(largest);
    return exponent > kPlainExponent || exponent < -kPlainExponent ? -exponent : 0;
}

void ScaleByPowerOfTwo(double* values, std::size_t count, int exponent) {
    if (exponent == 0) return;
    for (std::size_t k = 0; k < count; ++k) values[k] = std::ldexp(values[k], exponent);
}

std::string ProfileRangeProblem(const double* profile) {
    double total = 0;
    for (int b = 0; b < kProfileBins; ++b) total += profile[b];
    if (std::isfinite(total)) return "";
    return Reason(ReasonKind::ValuesTooLarge);
}

}  // namespace framesifter
