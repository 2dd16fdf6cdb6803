#pragma once
// A fast path from a 256 x 256 window to its 400-bin frequency characteristic. It gives the
// same profile as AnalyseWindow (real and imaginary parts both the window, centred 2-D transform,
// radial sum) up to rounding, but transforms the real window as half as many complex points,
// computes each amplitude of the Hermitian-symmetric spectrum once, and reads every cell's bin from
// a table. All tables and scratch (about 0.7 MB) belong to one profiler, built in its constructor;
// compute() allocates nothing. One profiler per thread; its results depend only on the window
// (every code path gives bit-identical profiles).

#include "analysis_results.h"
#include "window_tally.h"

#include <cstdint>
#include <memory>

namespace framesifter {

class FastProfiler {
public:
    static constexpr int kSize = 256;

    // Portable: plain C++, built everywhere. Baseline (SSE2) and Avx2: x86-64 vector code,
    // built unless the compiler targets another processor or the build asks for portable
    // code only.
    enum class CodePath { Auto, Portable, Baseline, Avx2 };

    // Auto picks the fastest path built and supported by the processor. A path that is not
    // at hand falls back to the next slower one (see codePath()).
    explicit FastProfiler(CodePath path = CodePath::Auto);
    ~FastProfiler();
    FastProfiler(const FastProfiler&) = delete;
    FastProfiler& operator=(const FastProfiler&) = delete;

    // window: kSize * kSize values, window[i * kSize + j] = column i, row j (FrameWindow's
    // block). profile: kProfileBins values, all overwritten.
    void compute(const std::int32_t* window, double* profile);
    // The same, gathering the window's tally (TallyWindow's values against `ceiling`) from the
    // loads the transform makes anyway.
    void compute(const std::int32_t* window, double* profile, std::int32_t ceiling,
                 WindowTally& tally);
    // The same arithmetic on a window of real values (frames whose values are not all
    // integers); an integer window given as doubles gives the very same profile. Values far
    // from 1 are transformed scaled by a power of two (value_range.h), the only case where
    // compute() allocates.
    void compute(const double* window, double* profile);
    void compute(const double* window, double* profile, WindowTally& tally);

    // Whether the tally must have the window's smallest and largest value (on by default). Off,
    // they may be left 0: on the fastest path they cost a pass of their own over the window.
    void setGatherExtremes(bool on);

    CodePath codePath() const { return path_; }
    static bool vectorCodeBuilt();
    static bool avx2Available();  // false also when the vector code is not built

    struct Work;  // tables and scratch, opaque

private:
    std::unique_ptr<Work> work_;
    CodePath path_;
};

}  // namespace framesifter
