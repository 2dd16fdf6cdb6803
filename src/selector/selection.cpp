#include "selection.h"

#include <algorithm>

double BandScore(const IntPlane& profileTable, int file, int low, int high) {
    low = std::max(low, 0);
    high = std::min(high, profileTable.first() - 1);
    double score = 0;
    for (int r = low; r <= high; ++r) score += profileTable[r][file];
    return score;
}

double PassThreshold(int level, double minimum, double maximum) {
    // long double keeps the sum exact for integer scores, so level 0 and 10 give exactly
    // the minimum and the maximum.
    return double(((10 - level) * (long double)minimum + level * (long double)maximum) * 0.1L);
}

SelectionResult SelectFrames(SelectorState& state, int count, int level) {
    SelectionResult result;
    count = std::clamp(count, 0, state.ProfileTable.second());
    level = std::clamp(level, 0, 10);
    state.TotalMax = -1e10;
    state.TotalMin = 1e10;
    for (int k = 0; k < count; ++k) {
        state.ProfileTotal = BandScore(state.ProfileTable, k, state.BandLow, state.BandHigh);
        if (state.ProfileTotal > state.TotalMax) state.TotalMax = state.ProfileTotal;
        if (state.ProfileTotal < state.TotalMin) state.TotalMin = state.ProfileTotal;
    }
    result.minimum = state.TotalMin;
    result.maximum = state.TotalMax;
    result.threshold = PassThreshold(level, result.minimum, result.maximum);
    for (int k = 0; k < count; ++k) {
        if (BandScore(state.ProfileTable, k, state.BandLow, state.BandHigh) >= result.threshold)
            result.passed.push_back(k);
    }
    return result;
}

bool ResultsMatch(const SelectorState& state, const std::vector<std::string>& paths) {
    return !paths.empty() && state.AnalysedFiles == paths;
}
