#pragma once
// The pass level and the selection: every file is scored by the sum of its stored
// profile bins from the band's low to its high bin, and the files reaching the level's
// threshold pass.

#include "analysis_results.h"

#include <string>
#include <vector>

namespace framesifter {

// The band of spatial frequencies that scores a frame, in profile bins.
struct Band {
    int low = 25;
    int high = 50;
};

struct SelectionResult {
    std::vector<int> passed;  // file indices, in file-list order
    double minimum = 0;       // smallest score (0 when no frame is scored)
    double maximum = 0;       // largest score (0 when no frame is scored)
    double threshold = 0;
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

// Sum of profileTable[r][file] for r between low and high, whichever is lower.
double BandScore(const ProfileColumns& profileTable, int file, int low, int high);
// ((10 - level) * minimum + level * maximum) * 0.1
double PassThreshold(int level, double minimum, double maximum);

// Scores files 0..count-1 of the table over the band at level 0..10. Files listed in
// `leftOut` (by index) are not scored: they set neither end of the range and never pass.
SelectionResult SelectFrames(const ProfileColumns& profileTable, int count, Band band, int level,
                             const std::vector<LeftOutFrame>& leftOut = {});

// The run's left-out frames with every flagged frame added, in list order: the leftOut of a
// selection that leaves flagged frames out, so that they set no threshold, rank nothing and
// never pass.
std::vector<LeftOutFrame> LeftOutWithFlagged(const std::vector<LeftOutFrame>& leftOut,
                                             const std::vector<std::uint8_t>& flags);

// True when the last run went to its end over exactly these files, in this order, with this
// window mode: only then do the table's columns belong to them.
bool ResultsMatch(const AnalysisResults& results, const std::vector<std::string>& paths,
                  WindowMode mode);

}  // namespace framesifter
