#include "selection.h"

#include <algorithm>

namespace framesifter {

double PassThreshold(int level, double minimum, double maximum) {
    // long double keeps the sum exact for integer scores, so level 0 and 10 give exactly
    // the minimum and the maximum.
    return double(((10 - level) * (long double)minimum + level * (long double)maximum) * 0.1L);
}

SelectionResult SelectFrames(const std::vector<double>& scores, int level,
                             const std::vector<LeftOutFrame>& leftOut) {
    SelectionResult result;
    const std::size_t count = scores.size();
    level = std::clamp(level, 0, 10);
    std::vector<bool> skipped(count, false);
    for (const LeftOutFrame& f : leftOut)
        if (f.index >= 0 && std::size_t(f.index) < count) skipped[std::size_t(f.index)] = true;
    // The range is the scores' own: frames of 32-bit and floating-point values score beyond
    // any fixed start value.
    bool scored = false;
    for (std::size_t k = 0; k < count; ++k) {
        if (skipped[k]) continue;
        if (!scored || scores[k] > result.maximum) result.maximum = scores[k];
        if (!scored || scores[k] < result.minimum) result.minimum = scores[k];
        scored = true;
    }
    result.threshold = PassThreshold(level, result.minimum, result.maximum);
    for (std::size_t k = 0; k < count; ++k)
        if (!skipped[k] && scores[k] >= result.threshold) result.passed.push_back(int(k));
    return result;
}

std::vector<LeftOutFrame> LeftOutWithFlagged(const std::vector<LeftOutFrame>& leftOut,
                                             const std::vector<std::uint8_t>& flags) {
    std::vector<LeftOutFrame> out = leftOut;
    for (std::size_t k = 0; k < flags.size(); ++k) {
        if (!flags[k]) continue;
        LeftOutFrame f;
        f.index = int(k);
        out.push_back(f);
    }
    std::stable_sort(out.begin(), out.end(), [](const LeftOutFrame& a, const LeftOutFrame& b) {
        return a.index < b.index;
    });
    return out;
}

bool ResultsMatch(const AnalysisResults& results, const std::vector<std::string>& paths,
                  WindowMode mode) {
    return !paths.empty() && results.files == paths && results.mode == mode;
}

}  // namespace framesifter
