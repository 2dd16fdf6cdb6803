#include "band_suggestion.h"

#include "characteristic.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace framesifter {

namespace {

// Each frame's noise floor is measured over the normalised score's noise rings, per ring cell,
// as white noise fills every cell alike.
constexpr int kNoiseFirstBin = kNoiseFloorFirstBin;
constexpr int kNoiseLastBin = kNoiseFloorLastBin;
// A bin holds detail while the median frame stands this far above its noise floor there, and
// by kDetailErrors times the spread noise alone gives a bin over the frames: with few frames,
// a bin of noise alone may well stand 3 % high.
constexpr double kDetailExcess = 0.03;
constexpr double kDetailErrors = 4;
// The suggestion reads at most this many frames, spread evenly over the list: plenty to rank
// bands by, and a video of 100,000 frames costs no more than a folder of stills.
constexpr int kSampleFrames = 400;
// Frames dealt into groups, to see how much another set of frames would move the comparison
// with the default band.
constexpr int kGroups = 10;
// The search tries every third low and high bin first, then every band near the best of those.
constexpr int kCoarseStep = 3;
// Another band replaces the default only when it ranks the frames' sharpness clearly better:
// by this much and by this many standard errors. The default is what users know; a band that
// is better by chance alone is not worth the change.
constexpr double kClearGain = 0.005;
constexpr double kClearErrors = 2;
constexpr int kBins = kSuggestLastBin + 1;

std::vector<double> MeanRanks(const std::vector<double>& v) {
    std::vector<std::size_t> order(v.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return v[a] < v[b]; });
    std::vector<double> ranks(v.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i;
        while (j + 1 < order.size() && v[order[j + 1]] == v[order[i]]) ++j;
        for (std::size_t k = i; k <= j; ++k) ranks[order[k]] = (double(i) + double(j)) / 2 + 1;
        i = j + 1;
    }
    return ranks;
}

double Median(std::vector<double> v) {
    const auto middle = v.begin() + long(v.size() / 2);
    std::nth_element(v.begin(), middle, v.end());
    return *middle;
}

// The frames that count, at most kSampleFrames of them spread evenly over the list: those not
// left out, with finite bins and a bin 0 above zero to measure their brightness by.
std::vector<int> UsableFrames(const ProfileColumns& profiles, int count,
                              const std::vector<LeftOutFrame>& leftOut) {
    std::vector<char> skip(std::size_t(std::max(count, 0)), 0);
    for (const LeftOutFrame& f : leftOut)
        if (f.index >= 0 && f.index < count) skip[std::size_t(f.index)] = 1;
    std::vector<int> frames;
    for (int k = 0; k < count; ++k) {
        if (skip[std::size_t(k)] || !(ProfileBin(profiles, 0, k) > 0)) continue;
        bool finite = true;
        for (int b = 0; b < kBins && finite; ++b)
            finite = std::isfinite(ProfileBin(profiles, b, k));
        if (finite) frames.push_back(k);
    }
    if (frames.size() <= std::size_t(kSampleFrames)) return frames;
    std::vector<int> sample(static_cast<std::size_t>(kSampleFrames));
    for (std::size_t i = 0; i < sample.size(); ++i)
        sample[i] = frames[i * frames.size() / sample.size()];
    return sample;
}

// The frames' bins 0..kSuggestLastBin, a row per frame, scaled by a power of two (which
// changes no ratio and no order) so that sums of them neither overflow nor vanish.
std::vector<double> ReadBins(const ProfileColumns& profiles, const std::vector<int>& frames) {
    std::vector<double> bins(frames.size() * kBins);
    double largest = 0;
    for (std::size_t i = 0; i < frames.size(); ++i)
        for (int b = 0; b < kBins; ++b) {
            const double v = ProfileBin(profiles, b, frames[i]);
            bins[i * kBins + std::size_t(b)] = v;
            largest = std::fmax(largest, std::fabs(v));
        }
    if (largest > 0) {
        const int shift = -std::ilogb(largest);
        for (double& v : bins) v = std::ldexp(v, shift);
    }
    return bins;
}

// Each frame's noise per ring cell: the median over the noise bins of bin / cells.
std::vector<double> NoiseSlopes(const std::vector<double>& bins, const std::vector<int>& cells) {
    const std::size_t n = bins.size() / kBins;
    std::vector<double> slopes(n), ratios;
    for (std::size_t i = 0; i < n; ++i) {
        ratios.clear();
        for (int b = kNoiseFirstBin; b <= kNoiseLastBin; ++b)
            ratios.push_back(bins[i * kBins + std::size_t(b)] / cells[std::size_t(b)]);
        slopes[i] = Median(ratios);
    }
    return slopes;
}

// How far a bin of noise alone strays from its floor, relative to it, times the square root
// of its cells: the frames' noise bins' spread (median absolute deviation, as a standard
// deviation). 0 for frames without noise.
double NoiseScatter(const std::vector<double>& bins, const std::vector<double>& slopes,
                    const std::vector<int>& cells) {
    std::vector<double> deviations;
    for (std::size_t i = 0; i < slopes.size(); ++i) {
        if (!(slopes[i] > 0)) continue;
        for (int b = kNoiseFirstBin; b <= kNoiseLastBin; ++b) {
            const double n = cells[std::size_t(b)];
            deviations.push_back(std::fabs(bins[i * kBins + std::size_t(b)] / (slopes[i] * n) - 1) *
                                 std::sqrt(n));
        }
    }
    return deviations.empty() ? 0 : 1.4826 * Median(deviations);
}

// The frames' detail: of the runs of bins from kSuggestFirstBin on where the median frame
// stands clearly above its noise floor, the one holding most above the floor (in units of
// each frame's bin 0, in the median frame). Real frames hold one run from the lowest bins up;
// a pattern of a few frequencies holds short ones. A frequency's two mirror cells lie in
// neighbouring bins or the same one, so a run of one bin alone is noise. False when no run of
// two bins holds detail.
bool DetailRun(const std::vector<double>& bins, const std::vector<double>& slopes,
               const std::vector<int>& cells, Band& run) {
    const std::size_t n = slopes.size();
    const double scatter = NoiseScatter(bins, slopes, cells);
    std::vector<double> ratios(n), excess(n);
    double best = -1, held = 0;
    int low = 0;
    for (int b = kSuggestFirstBin; b <= kBins; ++b) {
        bool detail = false;
        if (b < kBins) {
            for (std::size_t i = 0; i < n; ++i) {
                const double* row = &bins[i * kBins];
                const double floor = slopes[i] * cells[std::size_t(b)];
                // Frames without noise hold detail in every bin that holds anything.
                ratios[i] = floor > 0 ? row[b] / floor : row[b] > 0 ? HUGE_VAL : 1;
                excess[i] = row[0] > 0 ? (row[b] - floor) / row[0] : 0;
            }
            const double noise =
                kDetailErrors * scatter / std::sqrt(cells[std::size_t(b)] * double(n));
            detail = Median(ratios) >= 1 + std::max(kDetailExcess, noise);
        }
        if (detail) {
            if (held == 0) low = b;
            held += std::max(Median(excess), 1e-300);
        } else if (held > 0) {
            if (held > best && b - 1 > low) best = held, run = {low, b - 1};
            held = 0;
        }
    }
    return best > 0;
}

// The frames' sharpness as the bins of `band` of one parity (0 even, 1 odd) show it: each bin
// above the frame's noise floor, in units of the frame's bin 0, so that neither brightness nor
// the noise level counts.
std::vector<double> Sharpness(const std::vector<double>& bins, const std::vector<double>& slopes,
                              const std::vector<int>& cells, Band band, int parity) {
    const std::size_t n = slopes.size();
    std::vector<double> sums(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const double* row = &bins[i * kBins];
        // A bin 0 lost to the common scale, 2^1074 below the largest value, tells nothing.
        if (!(row[0] > 0)) continue;
        for (int b = band.low; b <= band.high; ++b)
            if (b % 2 == parity) sums[i] += (row[b] - slopes[i] * cells[std::size_t(b)]) / row[0];
    }
    return sums;
}

// Whether the middle half of the frames differ: one odd frame among alike ones tells nothing
// of which of the others are sharper.
bool Varies(std::vector<double> v) {
    const auto first = v.begin() + long(v.size() - 1) / 4,
               third = v.begin() + long(3 * (v.size() - 1)) / 4;
    std::nth_element(v.begin(), third, v.end());
    const double q3 = *third;
    std::nth_element(v.begin(), first, third);
    return q3 > *first;
}

// The sums for the correlation of two series.
struct Moments {
    double n = 0, a = 0, b = 0, aa = 0, bb = 0, ab = 0;

    void add(double x, double y) {
        n += 1;
        a += x;
        b += y;
        aa += x * x;
        bb += y * y;
        ab += x * y;
    }
    Moments& operator+=(const Moments& m) {
        n += m.n;
        a += m.a;
        b += m.b;
        aa += m.aa;
        bb += m.bb;
        ab += m.ab;
        return *this;
    }
    double correlation() const {
        if (n < 2) return 0;
        const double va = aa - a * a / n, vb = bb - b * b / n, c = ab - a * b / n;
        return va > 0 && vb > 0 ? c / std::sqrt(va * vb) : 0;
    }
};

// What the search reads: each frame's raw bins summed from bin 0 over either parity, and the
// frames' sharpness ranks by the reference bins.
struct BandEvidence {
    std::size_t frames = 0;
    int groups = 1;
    // Whether both halves of the reference tell the middle half of the frames apart.
    bool varies = true;
    std::vector<double> evenSums, oddSums;  // [frame * (kBins + 1) + b]: the bins below b
    std::vector<double> referenceEven, referenceOdd;
};

BandEvidence Evidence(const std::vector<double>& bins, const std::vector<double>& slopes,
                      const std::vector<int>& cells, Band reference) {
    BandEvidence e;
    e.frames = slopes.size();
    e.groups = int(std::min<std::size_t>(kGroups, e.frames));
    e.evenSums.assign(e.frames * (kBins + 1), 0);
    e.oddSums.assign(e.frames * (kBins + 1), 0);
    for (std::size_t i = 0; i < e.frames; ++i)
        for (int b = 0; b < kBins; ++b) {
            const std::size_t at = i * (kBins + 1) + std::size_t(b);
            const double v = bins[i * kBins + std::size_t(b)];
            e.evenSums[at + 1] = e.evenSums[at] + (b % 2 == 0 ? v : 0);
            e.oddSums[at + 1] = e.oddSums[at] + (b % 2 == 1 ? v : 0);
        }
    const std::vector<double> even = Sharpness(bins, slopes, cells, reference, 0);
    const std::vector<double> odd = Sharpness(bins, slopes, cells, reference, 1);
    e.varies = Varies(even) && Varies(odd);
    e.referenceEven = MeanRanks(even);
    e.referenceOdd = MeanRanks(odd);
    return e;
}

// How the band's raw sums rank the frames against their sharpness, per group of frames (frame
// i in group i % groups): [g] the band's odd bins against the reference's even ones, [groups +
// g] its even bins against the odd ones, so that no bin's noise is on both sides.
std::vector<Moments> BandMoments(const BandEvidence& e, Band band) {
    std::vector<double> odd(e.frames), even(e.frames);
    for (std::size_t i = 0; i < e.frames; ++i) {
        const std::size_t low = i * (kBins + 1) + std::size_t(band.low);
        const std::size_t high = i * (kBins + 1) + std::size_t(band.high) + 1;
        odd[i] = e.oddSums[high] - e.oddSums[low];
        even[i] = e.evenSums[high] - e.evenSums[low];
    }
    std::vector<Moments> moments(std::size_t(2 * e.groups));
    const std::vector<double> oddRanks = MeanRanks(odd), evenRanks = MeanRanks(even);
    for (std::size_t i = 0; i < e.frames; ++i) {
        const std::size_t g = i % std::size_t(e.groups);
        moments[g].add(oddRanks[i], e.referenceEven[i]);
        moments[std::size_t(e.groups) + g].add(evenRanks[i], e.referenceOdd[i]);
    }
    return moments;
}

// The band's rank agreement with the frames' sharpness, -1..1, leaving group `without` out.
double Agreement(const BandEvidence& e, const std::vector<Moments>& moments, int without = -1) {
    Moments first, second;
    for (int g = 0; g < e.groups; ++g) {
        if (g == without) continue;
        first += moments[std::size_t(g)];
        second += moments[std::size_t(e.groups + g)];
    }
    return (first.correlation() + second.correlation()) / 2;
}

// The band of the best agreement within `run`: first over every kCoarseStep-th low and high
// bin (and the run's last), then over every band within a step of the best of those.
BandSuggestion BestBand(const BandEvidence& e, Band run) {
    BandSuggestion best;
    best.power = -2;
    const auto consider = [&](int low, int high) {
        if (low < run.low || high > run.high || high < low) return;
        const double power = Agreement(e, BandMoments(e, {low, high}));
        if (power > best.power) best = {true, {low, high}, power};
    };
    for (int low = run.low; low <= run.high; low += kCoarseStep)
        for (int high = low;; high += kCoarseStep) {
            consider(low, std::min(high, run.high));
            if (high >= run.high) break;
        }
    const Band coarse = best.band;
    for (int low = coarse.low - kCoarseStep + 1; low < coarse.low + kCoarseStep; ++low)
        for (int high = coarse.high - kCoarseStep + 1; high < coarse.high + kCoarseStep; ++high)
            consider(low, high);
    return best;
}

// Whether `candidate` ranks the frames' sharpness clearly better than `standard`: by
// kClearGain, and by kClearErrors standard errors of the difference as the groups of frames
// show it (leaving out one group at a time).
bool ClearlyBetter(const BandEvidence& e, Band candidate, Band standard) {
    const std::vector<Moments> c = BandMoments(e, candidate), s = BandMoments(e, standard);
    const double gain = Agreement(e, c) - Agreement(e, s);
    if (!(gain > kClearGain)) return false;
    std::vector<double> gains;
    for (int g = 0; g < e.groups; ++g) gains.push_back(Agreement(e, c, g) - Agreement(e, s, g));
    const double mean = std::accumulate(gains.begin(), gains.end(), 0.0) / double(gains.size());
    double spread = 0;
    for (double x : gains) spread += (x - mean) * (x - mean);
    const double error = std::sqrt(spread * double(e.groups - 1) / double(e.groups));
    return gain > kClearErrors * error;
}

}  // namespace

BandSuggestion SuggestBand(const ProfileColumns& profileTable, int count,
                           const std::vector<LeftOutFrame>& leftOut) {
    const std::vector<int> frames = UsableFrames(profileTable, count, leftOut);
    if (int(frames.size()) < kSuggestMinFrames) return {};
    const std::vector<double> bins = ReadBins(profileTable, frames);
    static const std::vector<int> cells = RingCellCounts(kWindowSize);
    const std::vector<double> slopes = NoiseSlopes(bins, cells);

    // Bands stay within the frames' detail; past it a band adds nothing but noise.
    Band run;
    if (!DetailRun(bins, slopes, cells, run)) return {};
    // The default band stands for itself without the bins that hold no detail.
    const Band standard{};
    const bool overlaps = standard.low <= run.high && run.low <= standard.high;
    const Band clipped{std::max(standard.low, run.low), std::min(standard.high, run.high)};
    // Sharpness is measured over that part of the default band where it is wide enough, else
    // over all the detail there is.
    const Band reference = overlaps && clipped.high - clipped.low >= 5 ? clipped : run;
    const BandEvidence evidence = Evidence(bins, slopes, cells, reference);
    if (!evidence.varies) return {};

    const BandSuggestion best = BestBand(evidence, run);
    if (!(best.power > 0)) return {};
    if (!overlaps || ClearlyBetter(evidence, best.band, clipped)) return best;
    return {true, clipped, Agreement(evidence, BandMoments(evidence, clipped))};
}

double RankCorrelation(const std::vector<double>& a, const std::vector<double>& b) {
    if (a.size() != b.size() || a.size() < 2) return 0;
    const std::vector<double> ra = MeanRanks(a), rb = MeanRanks(b);
    const double mean = (double(a.size()) + 1) / 2;
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sab += (ra[i] - mean) * (rb[i] - mean);
        saa += (ra[i] - mean) * (ra[i] - mean);
        sbb += (rb[i] - mean) * (rb[i] - mean);
    }
    return saa > 0 && sbb > 0 ? sab / std::sqrt(saa * sbb) : 0;
}

}  // namespace framesifter
