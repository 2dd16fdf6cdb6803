#include "fft_plan.h"

#include "fft.h"

namespace framesifter {

FftPlan::FftPlan(int n) : n_(n), sines_(std::size_t(n + n / 4)), bitReverse_(std::size_t(n)) {
    BuildSineTable(n_, sines_.data());
    BuildBitReverseTable(n_, bitReverse_.data());
}

void FftPlan::forward(double* re, double* im) const {
    FftTransform(n_, bitReverse_.data(), sines_.data(), re, im);
}

}  // namespace framesifter
