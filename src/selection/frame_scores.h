#pragma once
// The score that orders frames: one number per frame, higher for a sharper one. Selection,
// ranking, the CSV and the windows take the scores as a vector, so that another kind of score
// is another function here.

#include "analysis_results.h"

#include <vector>

namespace framesifter {

// The band of spatial frequencies that scores a frame, in profile bins.
struct Band {
    int low = 25;
    int high = 50;
};

// The stored profiles: the int table, and the whole columns of frames whose values are not
// integers, which score in place of their truncated ones.
struct ProfileColumns {
    ProfileColumns(const IntPlane& table) : table(table) {}
    ProfileColumns(const AnalysisResults& results)
        : table(results.profileTable), exact(&results.exactColumns) {}
    const IntPlane& table;
    const std::map<int, std::array<double, kTableBins>>* exact = nullptr;
};

// Bin `bin` of frame `frame`: from its whole column where it has one, else from the table.
double ProfileBin(const ProfileColumns& profiles, int bin, int frame);

// One score per frame 0..count-1 (at most the table's columns), in list order: the sum of
// its bins from the band's low to its high bin, whichever is lower, within the table.
std::vector<double> BandScores(const ProfileColumns& profiles, int count, Band band);

}  // namespace framesifter
