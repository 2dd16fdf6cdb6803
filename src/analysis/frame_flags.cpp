#include "frame_flags.h"

#include "frame_signature.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace framesifter {

namespace {

double Median(std::vector<double> v) {
    const std::size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(mid), v.end());
    const double upper = v[mid];
    if (v.size() % 2) return upper;
    return (*std::max_element(v.begin(), v.begin() + std::ptrdiff_t(mid)) + upper) / 2;
}

double KthSmallest(std::vector<double>& v, std::size_t k) {
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(k), v.end());
    return v[k];
}

// The k-th largest (k from 1, k <= v.size()) in one pass, for a small k.
template <std::size_t k>
double KthLargest(const std::vector<double>& v) {
    double top[k];
    std::fill_n(top, k, -std::numeric_limits<double>::infinity());
    for (double x : v) {
        if (!(x > top[k - 1])) continue;
        std::size_t at = k - 1;
        for (; at > 0 && top[at - 1] < x; --at) top[at] = top[at - 1];
        top[at] = x;
    }
    return top[k - 1];
}

// The median (the element of rank size / 2) of whole numbers spanning fewer than 2^16 values,
// counted rather than sorted: a window of 65536 samples in a fraction of nth_element's time.
// Four tallies taken in turn, so that runs of one value do not wait on one counter.
double CountedMedian(const std::vector<double>& values, double low, double high,
                     std::vector<std::uint32_t>& counts) {
    const std::size_t span = std::size_t(high - low) + 1;
    counts.assign(4 * span, 0);
    std::size_t k = 0;
    for (; k + 4 <= values.size(); k += 4)
        for (std::size_t t = 0; t < 4; ++t) ++counts[t * span + std::size_t(values[k + t] - low)];
    for (; k < values.size(); ++k) ++counts[std::size_t(values[k] - low)];
    std::size_t seen = 0, b = 0;
    while ((seen += counts[b] + counts[span + b] + counts[2 * span + b] + counts[3 * span + b]) <=
           values.size() / 2)
        ++b;
    return low + double(b);
}

// The smallest and largest of finite values, four at a time.
std::pair<double, double> Range(const std::vector<double>& values) {
    double low[4], high[4];
    std::fill_n(low, 4, values.empty() ? 0.0 : values[0]);
    std::fill_n(high, 4, low[0]);
    std::size_t k = 0;
    for (; k + 4 <= values.size(); k += 4)
        for (int t = 0; t < 4; ++t) {
            low[t] = std::min(low[t], values[k + std::size_t(t)]);
            high[t] = std::max(high[t], values[k + std::size_t(t)]);
        }
    for (; k < values.size(); ++k) {
        low[0] = std::min(low[0], values[k]);
        high[0] = std::max(high[0], values[k]);
    }
    return {*std::min_element(low, low + 4), *std::max_element(high, high + 4)};
}

// The frame-edge measure sees the window in blocks of this many pixels square: a block's
// noise is an eighth of a pixel's, and a hot pixel is spread over 64. Like the frame edge's
// blocks, each holds half its samples' mean (the scale keeps sums of the largest doubles
// finite); an edge block holds a quarter of the samples, so twice a window block's noise.
constexpr int kBlock = 8;
constexpr double kBlockScale = 0.5 / (kBlock * kBlock);
static_assert(FrameBorder::kScale == 0.5 / (FrameBorder::kDepth * FrameBorder::kLength),
              "edge blocks on the window blocks' scale");
constexpr double kEdgeBlockNoise = 2.0;
// The object's brightness is the 8th brightest block of the window, or the 3rd of the
// frame's edge (where a sliver of a disc may be all there is), which a few hot pixels do not
// set.
constexpr std::size_t kBrightBlock = 8;
constexpr std::size_t kBrightEdgeBlock = 3;
// The object is the blocks above the sky by this share of its brightness above the sky and
// by this many noise deviations; a window whose brightest blocks stand fewer deviations
// above the sky than kObjectSeparation holds none. On the frame's edge only the object's body
// counts, kEdgeBody of its brightness above the sky: the faint rim or seeing halo of a disc
// that lies whole against the edge does not.
constexpr double kObjectShare = 0.15;
constexpr double kEdgeBody = 0.4;
constexpr double kObjectNoise = 5.0;
constexpr double kObjectSeparation = 10.0;

// A window seen in blocks ([bi * n + bj] for n = N / kBlock) and the noise of one block:
// that of its pixels, from the median difference of pixels two rows apart (the same colour
// of a Bayer mosaic), one pair a block, over 0.954 (Gaussian noise's); blocks' own steps
// would take a frame-filling surface's structure for noise.
struct BlockView {
    std::vector<double> blocks;
    double noise = 0;
};

BlockView ViewInBlocks(const std::vector<double>& values, int N) {
    constexpr double s = kBlockScale;
    constexpr double step = kBlockScale * kBlock;  // a pixel's noise in a block's
    const int n = N / kBlock;
    BlockView view;
    view.blocks.assign(std::size_t(n) * std::size_t(n), 0.0);
    std::vector<double> steps;
    steps.reserve(view.blocks.size());
    for (int i = 0; i < n * kBlock; ++i) {
        double* column = view.blocks.data() + std::size_t(i / kBlock) * std::size_t(n);
        const double* v = values.data() + std::size_t(i) * std::size_t(N);
        for (int bj = 0; bj < n; ++bj, v += kBlock) {
            double sum = 0;
            for (int j = 0; j < kBlock; ++j) sum += v[j] * s;
            column[bj] += sum;
            if (i % kBlock == kBlock / 2) steps.push_back(std::fabs(v[2] * step - v[0] * step));
        }
    }
    view.noise = steps.empty() ? 0 : KthSmallest(steps, steps.size() / 2) / 0.954;
    return view;
}

// How far the object lies along the frame's edge (0 for no object). The sky is the lower of
// the window's 10th percentile block and the frame edge's median block (a window inside a
// large disc has no sky of its own); the object's brightness the higher of the window's and
// the edge's. Then the length of the object's body along each edge is held against the
// square root of its area in the window, a measure of its size whatever its distance.
double EdgeSpan(BlockView view, int n, const FrameBorder& border) {
    const FrameSide sides[] = {FrameSide::Top, FrameSide::Bottom, FrameSide::Left,
                               FrameSide::Right};
    std::vector<double> edge;
    for (FrameSide side : sides)
        edge.insert(edge.end(), border.blocks(side).begin(), border.blocks(side).end());
    std::vector<double>& blocks = view.blocks;
    if (n < 2 || blocks.size() < kBrightBlock || edge.size() < kBrightEdgeBlock) return 0;
    const double noise = view.noise;
    const double sky =
        std::min(KthSmallest(blocks, blocks.size() / 10), KthSmallest(edge, edge.size() / 2));
    const double bright =
        std::max(KthLargest<kBrightBlock>(blocks), KthLargest<kBrightEdgeBlock>(edge));
    // Samples are finite (a FITS reader makes undefined ones 0) and blocks are sums scaled
    // down, so these differences stay finite; a noise too large to scale leaves this false.
    if (!(bright - sky > kObjectSeparation * noise)) return 0;
    const auto above = [sky, bright](const std::vector<double>& v, double share, double noise) {
        const double level = sky + std::max(share * (bright - sky), kObjectNoise * noise);
        return double(std::count_if(v.begin(), v.end(), [level](double b) { return b > level; }));
    };
    const double size = std::sqrt(std::max(1.0, above(blocks, kObjectShare, noise))) * kBlock;
    double span = 0;
    for (FrameSide side : sides) {
        const double body = above(border.blocks(side), kEdgeBody, kEdgeBlockNoise * noise);
        span = std::max(span, body * FrameBorder::kLength / size);
    }
    return span;
}

}  // namespace

namespace {

// value(i, j): column i, row j of the N x N window.
// `whole`: every value is a whole number (an int window).
template <typename Value>
WindowFacts Measure(const WindowTally& tally, Value value, int N, double ceiling, bool whole,
                    WindowMode mode, const FrameBorder& border, FactsScratch& scratch) {
    WindowFacts facts;
    facts.measured = true;
    const std::size_t pixels = std::size_t(N) * std::size_t(N);
    facts.mean = tally.mean;
    facts.hash = tally.hash;
    facts.saturated = std::isfinite(ceiling) && tally.atCeiling > kSaturatedShare * double(pixels);
    if (mode != WindowMode::Peak) return facts;

    std::vector<double>& values = scratch.values;
    values.resize(pixels);
    std::size_t p = 0;
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j, ++p) values[p] = value(i, j);
    if (border.gathered()) facts.edgeSpan = EdgeSpan(ViewInBlocks(values, N), N / kBlock, border);
    if (N <= 2 * kEdgeRing) return facts;

    const auto [low, high] = whole ? Range(values) : std::pair<double, double>(0, 65536);
    const double background = high - low < 65536 ? CountedMedian(values, low, high, scratch.counts)
                                                 : KthSmallest(values, pixels / 2);
    const auto ringShare = [&](auto zero, bool& finite) {
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
        return total > 0 ? double(ring / total) : 0.0;
    };
    bool finite = true;
    facts.ringShare = ringShare(0.0, finite);
    if (!finite) facts.ringShare = ringShare(0.0L, finite);
    return facts;
}

}  // namespace

WindowFacts WindowFactsOf(const WindowTally& tally, const IntPlane& window, int N, int ceiling,
                          WindowMode mode, const FrameBorder& border, FactsScratch& scratch) {
    return Measure(
        tally, [&](int i, int j) { return double(window[i][j]); }, N, ceiling, true, mode, border,
        scratch);
}

WindowFacts WindowFactsOf(const WindowTally& tally, const double* window, int N, WindowMode mode,
                          const FrameBorder& border, FactsScratch& scratch) {
    return Measure(
        tally, [&](int i, int j) { return window[std::size_t(i) * std::size_t(N) + j]; }, N,
        std::numeric_limits<double>::infinity(), false, mode, border, scratch);
}

WindowFacts MeasureWindow(const IntPlane& window, int N, int ceiling, WindowMode mode,
                          const FrameBorder& border) {
    FactsScratch scratch;
    return WindowFactsOf(TallyWindow(window.data(), N, ceiling), window, N, ceiling, mode, border,
                         scratch);
}

WindowFacts MeasureRealWindow(const double* window, int N, WindowMode mode,
                              const FrameBorder& border) {
    FactsScratch scratch;
    return WindowFactsOf(TallyWindow(window, N), window, N, mode, border, scratch);
}

std::vector<std::uint8_t> FlagFrames(const std::vector<WindowFacts>& facts) {
    std::vector<std::uint8_t> flags(facts.size(), 0);
    std::vector<double> means;
    std::size_t nearFrameEdge = 0, nearWindowEdge = 0;
    for (const WindowFacts& f : facts) {
        if (!f.measured) continue;
        means.push_back(f.mean);
        nearFrameEdge += f.edgeSpan >= kEdgeNear * kEdgeSpan;
        nearWindowEdge += f.ringShare > kEdgeNear * kEdgeShare;
    }
    // An object on the frame's edge in most frames (the Moon filling it) says nothing about
    // one frame, and neither does its window's ring then.
    const bool frameEdgeRare = 2 * nearFrameEdge < means.size();
    const bool windowEdgeRare = frameEdgeRare && 2 * nearWindowEdge < means.size();
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
        if ((frameEdgeRare && f.edgeSpan >= kEdgeSpan) ||
            (windowEdgeRare && f.ringShare > kEdgeShare))
            mark |= kFlagEdge;
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
