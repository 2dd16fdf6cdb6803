#pragma once
// A band chosen from the data: the run of profile bins where the frames differ most against
// the spread that noise alone gives, offered to the user in place of a guessed band.

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
    double power = 0;  // how far the band's scores spread against noise; larger is better
};
constexpr int kSuggestMinFrames = 5;

// The band for frames 0..count-1 of the table (their whole columns where they have them);
// frames in `leftOut` do not count. Profiles scaled alike give the same band.
BandSuggestion SuggestBand(const ProfileColumns& profileTable, int count,
                           const std::vector<LeftOutFrame>& leftOut = {});

// Spearman's rank correlation of two equally long series (ties share their mean rank); 0
// when either is constant or they hold fewer than two values.
double RankCorrelation(const std::vector<double>& a, const std::vector<double>& b);

}  // namespace framesifter
