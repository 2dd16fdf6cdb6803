#include "frame_flags.h"

#include "frame_signature.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace framesifter {

namespace {

double Median(std::vector<double> v) {
    const std::size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(mid), v.end());
    const double upper = v[mid];
    if (v.size() % 2) return upper;
    return (*std::max_element(v.begin(), v.begin() + std::ptrdiff_t(mid)) + upper) / 2;
}

}  // namespace

namespace {

// value(i, j): column i, row j of the N x N window.
template <typename Value>
WindowFacts Measure(Value value, int N, double ceiling, WindowMode mode) {
    WindowFacts facts;
    facts.measured = true;
    const std::size_t pixels = std::size_t(N) * std::size_t(N);
    std::vector<double> values(pixels);
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    std::size_t atCeiling = 0;
    double sum = 0;
    std::size_t p = 0;
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j, ++p) {
            const double v = value(i, j);
            values[p] = v;
            sum += v;
            atCeiling += v >= ceiling;
            std::uint64_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            hash = (hash ^ bits) * 1099511628211ull;
        }
    }
    facts.mean = sum / double(pixels);
    // Values near the largest double add up beyond it; such a window is added up again wide.
    if (!std::isfinite(sum)) {
        long double wide = 0;
        for (double v : values) wide += v;
        facts.mean = double(wide / pixels);
    }
    facts.hash = hash;
    facts.saturated = double(atCeiling) > kSaturatedShare * double(pixels);
    if (mode != WindowMode::Peak || N <= 2 * kEdgeRing) return facts;

    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(pixels / 2), values.end());
    const double background = values[pixels / 2];
    const auto ringIsHeavy = [&](auto zero, bool& finite) {
        decltype(zero) total = 0, ring = 0;
        for (int i = 0; i < N; ++i) {
            const bool outerColumn = i < kEdgeRing || i >= N - kEdgeRing;
            for (int j = 0; j < N; ++j) {
                const auto excess = std::max(zero, decltype(zero)(value(i, j)) - background);
                total += excess;
                if (outerColumn || j < kEdgeRing || j >= N - kEdgeRing) ring += excess;
            }
        }
        finite = std::isfinite(total);
        return total > 0 && ring > kEdgeShare * total;
    };
    bool finite = true;
    facts.edge = ringIsHeavy(0.0, finite);
    if (!finite) facts.edge = ringIsHeavy(0.0L, finite);
    return facts;
}

}  // namespace

WindowFacts MeasureWindow(const IntPlane& window, int N, int ceiling, WindowMode mode) {
    return Measure([&](int i, int j) { return double(window[i][j]); }, N, ceiling, mode);
}

WindowFacts MeasureRealWindow(const double* window, int N, WindowMode mode) {
    return Measure([&](int i, int j) { return window[std::size_t(i) * std::size_t(N) + j]; }, N,
                   std::numeric_limits<double>::infinity(), mode);
}

std::vector<std::uint8_t> FlagFrames(const std::vector<WindowFacts>& facts) {
    std::vector<std::uint8_t> flags(facts.size(), 0);
    std::vector<double> means;
    for (const WindowFacts& f : facts)
        if (f.measured) means.push_back(f.mean);
    double median = 0, spread = 0;
    const bool robust = int(means.size()) >= kBrightnessFrames;
    if (robust) {
        median = Median(means);
        for (double& m : means) m = std::fabs(m - median);
        spread = std::max(1.4826 * Median(means), 0.01 * std::fabs(median));
    }
    for (std::size_t k = 0; k < facts.size(); ++k) {
        const WindowFacts& f = facts[k];
        if (!f.measured) continue;
        std::uint8_t& mark = flags[k];
        if (f.saturated) mark |= kFlagSaturated;
        if (f.edge) mark |= kFlagEdge;
        // A flat zero sequence has no spread: nothing stands out from it.
        if (robust && spread > 0 && std::fabs(f.mean - median) > kBrightnessDeviations * spread)
            mark |= kFlagBrightness;
        if (k > 0 && facts[k - 1].measured && facts[k - 1].hash == f.hash &&
            facts[k - 1].mean == f.mean)
            mark |= kFlagDuplicate;
    }
    return flags;
}

void MarkOddFrames(std::vector<std::uint8_t>& flags, const MixedFrames& mixed) {
    for (const OddFrame& odd : mixed.odd)
        if (odd.index < flags.size()) flags[odd.index] |= kFlagOdd;
}

std::string FlagNames(std::uint8_t flags) {
    static const char* const names[kFlagCount] = {"saturated", "edge", "brightness", "duplicate",
                                                  "odd"};
    std::string out;
    for (int b = 0; b < kFlagCount; ++b) {
        if (!(flags & (1u << b))) continue;
        if (!out.empty()) out += ';';
        out += names[b];
    }
    return out;
}

}  // namespace framesifter
