#pragma once
// Ranks and the "best N" / "best P %" pass rules, the alternative to a pass level.

#include "selection.h"

#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

// 1-based ordinal ranks, best (highest) score first; equal scores rank in list order. Frames
// listed in `leftOut` have no score: they rank 0 and the others rank from 1 among themselves.
std::vector<int> Ranks(const std::vector<double>& scores,
                       const std::vector<LeftOutFrame>& leftOut = {});

// A percentage held exactly: scaled / 10^decimals.
struct Percent {
    std::int64_t scaled = 0;
    int decimals = 0;
};

// Digits with at most one decimal point ("12", "0.1", ".5", "5."), no sign, no exponent, at
// most 9 decimals, in (0, 100].
[[nodiscard]] bool ParsePercent(const std::string& text, Percent& percent);

// ceil(percent x count / 100), computed exactly.
int CountForPercent(const Percent& percent, int count);

// Passes the `best` highest scores (all when best >= count); at a tie on the cut the earlier
// frame in the list wins. The threshold is the lowest passing score. Left-out frames neither
// pass nor set the range.
SelectionResult SelectBest(const std::vector<double>& scores, int best,
                           const std::vector<LeftOutFrame>& leftOut = {});

// What decides the pass list: the pass level, or a number or share of the best frames.
struct PassRule {
    enum class Kind { Level, Best, BestPercent };
    Kind kind = Kind::Level;
    int best = 0;     // Kind::Best
    Percent percent;  // Kind::BestPercent
};

// The selection under `rule`; `level` counts only for Kind::Level. A percentage is of the
// frames not left out.
SelectionResult SelectByRule(const std::vector<double>& scores, int level, const PassRule& rule,
                             const std::vector<LeftOutFrame>& leftOut = {});

}  // namespace framesifter
