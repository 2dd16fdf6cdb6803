#pragma once
// A band chosen from the data, offered to the user in place of the default band: the run of
// profile bins whose sums rank the frames most like their sharpness does, with neither their
// brightness nor their noise counted as sharpness. The default band stays unless another is
// clearly better.

#include "analysis_results.h"
#include "frame_scores.h"

#include <vector>

namespace framesifter {

// Where the suggestion may lie: past the lowest bins, which the picture's brightness and
// its outline dominate, and within what a click on the graph can set.
constexpr int kSuggestFirstBin = 3;
constexpr int kSuggestLastBin = 127;

struct BandSuggestion {
    bool found = false;  // false with fewer than kSuggestMinFrames frames, or no detail at all
    Band band;
    double power = 0;  // how well the band's scores rank the frames' sharpness, up to 1
};
constexpr int kSuggestMinFrames = 5;

// The band for frames 0..count-1 of the table (their whole columns where they have them);
// frames in `leftOut`, and frames whose bin 0 holds nothing, do not count. It lies within the
// bins that stand above the frames' noise floor. Profiles scaled alike give the same band.
BandSuggestion SuggestBand(const ProfileColumns& profileTable, int count,
                           const std::vector<LeftOutFrame>& leftOut = {});

// Spearman's rank correlation of two equally long series (ties share their mean rank); 0
// when either is constant or they hold fewer than two values.
double RankCorrelation(const std::vector<double>& a, const std::vector<double>& b);

}  // namespace framesifter
