#pragma once
// The pass level and the selection: the frames whose scores reach the level's threshold pass.

#include "analysis_results.h"
#include "frame_scores.h"

#include <string>
#include <vector>

namespace framesifter {

struct SelectionResult {
    std::vector<int> passed;  // file indices, in file-list order
    double minimum = 0;       // smallest score (0 when no frame is scored)
    double maximum = 0;       // largest score (0 when no frame is scored)
    double threshold = 0;
};

// ((10 - level) * minimum + level * maximum) * 0.1
double PassThreshold(int level, double minimum, double maximum);

// The frames (one score each, in list order) passing at level 0..10. Frames listed in
// `leftOut` (by index) have no score: they set neither end of the range and never pass.
SelectionResult SelectFrames(const std::vector<double>& scores, int level,
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
