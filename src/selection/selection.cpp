#include "selection.h"

#include <algorithm>
#include <utility>

namespace framesifter {

double BandScore(const ProfileColumns& profileTable, int file, int low, int high) {
    // Markers can cross with one stray click; the band is what lies between them.
    if (low > high) std::swap(low, high);
    low = std::max(low, 0);
    high = std::min(high, profileTable.table.first() - 1);
    double score = 0;
    if (profileTable.exact) {
        const auto column = profileTable.exact->find(file);
        if (column != profileTable.exact->end()) {
            for (int r = low; r <= high; ++r) score += column->second[std::size_t(r)];
            return score;
        }
    }
    for (int r = low; r <= high; ++r) score += profileTable.table[r][file];
    return score;
}

double PassThreshold(int level, double minimum, double maximum) {
    // long double keeps the sum exact for integer scores, so level 0 and 10 give exactly
    // the minimum and the maximum.
    return double(((10 - level) * (long double)minimum + level * (long double)maximum) * 0.1L);
}

SelectionResult SelectFrames(const ProfileColumns& profileTable, int count, Band band, int level,
                             const std::vector<LeftOutFrame>& leftOut) {
    SelectionResult result;
    count = std::clamp(count, 0, profileTable.table.second());
    level = std::clamp(level, 0, 10);
    std::vector<bool> skipped(std::size_t(count), false);
    for (const LeftOutFrame& f : leftOut)
        if (f.index >= 0 && f.index < count) skipped[std::size_t(f.index)] = true;
    // The range is the scores' own: frames of 32-bit and floating-point values score beyond
    // any fixed start value.
    bool scored = false;
    for (int k = 0; k < count; ++k) {
        if (skipped[std::size_t(k)]) continue;
        const double score = BandScore(profileTable, k, band.low, band.high);
        if (!scored || score > result.maximum) result.maximum = score;
        if (!scored || score < result.minimum) result.minimum = score;
        scored = true;
    }
    result.threshold = PassThreshold(level, result.minimum, result.maximum);
    for (int k = 0; k < count; ++k) {
        if (skipped[std::size_t(k)]) continue;
        if (BandScore(profileTable, k, band.low, band.high) >= result.threshold)
            result.passed.push_back(k);
    }
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
