#include "ranking.h"

#include <algorithm>
#include <numeric>

namespace framesifter {

namespace {

std::vector<char> LeftOutFlags(std::size_t count, const std::vector<LeftOutFrame>& leftOut) {
    std::vector<char> flags(count, 0);
    for (const LeftOutFrame& f : leftOut)
        if (f.index >= 0 && std::size_t(f.index) < count) flags[std::size_t(f.index)] = 1;
    return flags;
}

// Indices of the frames not left out, best first; a stable sort keeps equal scores in list
// order.
std::vector<int> BestFirst(const std::vector<double>& scores, const std::vector<char>& skipped) {
    std::vector<int> order;
    order.reserve(scores.size());
    for (std::size_t k = 0; k < scores.size(); ++k)
        if (!skipped[k]) order.push_back(int(k));
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return scores[std::size_t(a)] > scores[std::size_t(b)]; });
    return order;
}

}  // namespace

std::vector<int> Ranks(const std::vector<double>& scores,
                       const std::vector<LeftOutFrame>& leftOut) {
    const std::vector<int> order = BestFirst(scores, LeftOutFlags(scores.size(), leftOut));
    std::vector<int> ranks(scores.size(), 0);
    for (std::size_t r = 0; r < order.size(); ++r) ranks[std::size_t(order[r])] = int(r) + 1;
    return ranks;
}

bool ParsePercent(const std::string& text, Percent& percent) {
    constexpr int kMaxDecimals = 9;
    std::int64_t scaled = 0;
    int decimals = 0, digits = 0;
    bool point = false;
    for (char c : text) {
        if (c == '.') {
            if (point) return false;
            point = true;
            continue;
        }
        if (c < '0' || c > '9') return false;
        if (point && ++decimals > kMaxDecimals) return false;
        ++digits;
        scaled = scaled * 10 + (c - '0');
        // Past 100 with every decimal still to come: too large, and no overflow later.
        if (scaled > 100'000'000'000'000LL) return false;
    }
    if (digits == 0) return false;
    std::int64_t hundred = 100;
    for (int d = 0; d < decimals; ++d) hundred *= 10;
    if (scaled <= 0 || scaled > hundred) return false;
    percent.scaled = scaled;
    percent.decimals = decimals;
    return true;
}

int CountForPercent(const Percent& percent, int count) {
    if (count <= 0 || percent.scaled <= 0) return 0;
    std::int64_t denominator = 100;
    for (int d = 0; d < percent.decimals; ++d) denominator *= 10;
    // scaled <= 100 * 10^9 and count < 2^31: the product fits in 64 bits.
    const std::int64_t n = (percent.scaled * count + denominator - 1) / denominator;
    return int(std::min<std::int64_t>(n, count));
}

SelectionResult SelectBest(const std::vector<double>& scores, int best,
                           const std::vector<LeftOutFrame>& leftOut) {
    const std::vector<int> order = BestFirst(scores, LeftOutFlags(scores.size(), leftOut));
    SelectionResult result;
    if (!order.empty()) {
        result.maximum = scores[std::size_t(order.front())];
        result.minimum = scores[std::size_t(order.back())];
    }
    best = std::clamp(best, 0, int(order.size()));
    result.passed.assign(order.begin(), order.begin() + best);
    std::sort(result.passed.begin(), result.passed.end());
    result.threshold =
        best > 0 ? scores[std::size_t(order[std::size_t(best) - 1])] : result.maximum;
    return result;
}

SelectionResult SelectByRule(const std::vector<double>& scores, int level, const PassRule& rule,
                             const std::vector<LeftOutFrame>& leftOut) {
    switch (rule.kind) {
    case PassRule::Kind::Best:
        return SelectBest(scores, rule.best, leftOut);
    case PassRule::Kind::BestPercent: {
        const std::vector<char> skipped = LeftOutFlags(scores.size(), leftOut);
        const int scored = int(scores.size()) - int(std::count(skipped.begin(), skipped.end(), 1));
        return SelectBest(scores, CountForPercent(rule.percent, scored), leftOut);
    }
    case PassRule::Kind::Level:
        break;
    }
    return SelectFrames(scores, level, leftOut);
}

}  // namespace framesifter
