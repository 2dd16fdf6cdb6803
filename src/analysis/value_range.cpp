#include "value_range.h"

#include "analysis_results.h"

#include <cmath>

namespace framesifter {

namespace {

// Transform sums grow by at most 2^18 over the window; squared from 2^(256 + 18) they stay
// far below the largest double, and from 2^-256 far above the smallest.
constexpr int kPlainExponent = 256;

}  // namespace

int RangeExponent(const double* values, std::size_t count) {
    double largest = 0;
    for (std::size_t k = 0; k < count; ++k) largest = std::fmax(largest, std::fabs(values[k]));
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
