#pragma once
// The FFT of one length with its tables (sines, bit reversal), built once and then only read,
// so one plan serves any number of transforms and threads.

#include <cstdint>
#include <vector>

namespace framesifter {

class FftPlan {
public:
    // n: a power of two, at least 4.
    explicit FftPlan(int n);

    int size() const { return n_; }
    // Forward transform of one line in place, divided by n.
    void forward(double* re, double* im) const;

private:
    int n_;
    std::vector<double> sines_;             // n + n/4
    std::vector<std::int32_t> bitReverse_;  // n
};

}  // namespace framesifter
