#include "value_range.h"

#include "analysis_results.h"

#include <algorithm>
#include <cmath>

namespace framesifter {

namespace {

// Transform sums grow by at most 2^18 over the window; squared from 2^(256 + 18) they stay
// far below the largest double, and from 2^-256 far above the smallest.
constexpr int kPlainExponent = 256;

}  // namespace

int RangeExponent(const double* values, std::size_t count) {
    // Four running maxima, which the compiler keeps in vector lanes; NaN is passed over as
    // fmax would pass it, and an infinity wins.
    double lanes[4] = {0, 0, 0, 0};
    std::size_t k = 0;
    for (; k + 4 <= count; k += 4)
        for (int l = 0; l < 4; ++l) {
            const double a = std::fabs(values[k + std::size_t(l)]);
            lanes[l] = a > lanes[l] ? a : lanes[l];
        }
    for (; k < count; ++k) {
        const double a = std::fabs(values[k]);
        lanes[0] = a > lanes[0] ? a : lanes[0];
    }
    const double largest = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
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
    return "values too large to analyse: the frame's frequency amplitudes add up beyond the "
           "largest double (about 1.8e308)";
}

}  // namespace framesifter
