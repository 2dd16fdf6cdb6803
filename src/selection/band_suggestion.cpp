#include "band_suggestion.h"

#include "value_range.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace framesifter {

namespace {

// Bins whose spread stands for noise alone in the first guess: the highest a click can set.
constexpr int kNoiseFirstBin = 96;
// Values this many spreads beyond the quartiles are clipped, so that one odd frame (a cloud,
// a satellite) cannot decide the band.
constexpr double kClipSpreads = 3;

// The first and third quartiles of v, which is reordered.
void Quartiles(std::vector<double>& v, double& q1, double& q3) {
    const auto first = long(v.size() - 1) / 4, third = long(3 * (v.size() - 1)) / 4;
    std::nth_element(v.begin(), v.begin() + third, v.end());
    q3 = v[std::size_t(third)];
    std::nth_element(v.begin(), v.begin() + first, v.begin() + third);
    q1 = v[std::size_t(first)];
}

// The run of bins with the largest sum(signal) / sqrt(sum(noise^2)): the signal adds up over
// the run while noise that differs from bin to bin partly cancels.
BandSuggestion BestRun(const std::vector<double>& signal, const std::vector<double>& noise) {
    BandSuggestion best;
    for (int low = kSuggestFirstBin; low <= kSuggestLastBin; ++low) {
        double s = 0, n2 = 0;
        for (int high = low; high <= kSuggestLastBin; ++high) {
            s += signal[std::size_t(high)];
            n2 += noise[std::size_t(high)] * noise[std::size_t(high)];
            if (s <= 0) continue;
            // A bin that varies with nothing but the others would make the power endless.
            const double power = s / std::sqrt(std::max(n2, 1e-9 * s * s));
            if (power > best.power) best = {true, {low, high}, power};
        }
    }
    return best;
}

}  // namespace

BandSuggestion SuggestBand(const ProfileColumns& profileTable, int count,
                           const std::vector<LeftOutFrame>& leftOut) {
    std::vector<char> skip(std::size_t(std::max(count, 0)), 0);
    for (const LeftOutFrame& f : leftOut)
        if (f.index >= 0 && f.index < count) skip[std::size_t(f.index)] = 1;
    std::vector<int> frames;
    for (int k = 0; k < count; ++k)
        if (!skip[std::size_t(k)]) frames.push_back(k);
    if (int(frames.size()) < kSuggestMinFrames) return {};
    const std::size_t n = frames.size();

    // The sums of squares below would overflow for profiles of huge values and vanish for
    // tiny ones; scaled by a power of two they give the same band.
    const int bins = kSuggestLastBin + 1;
    double largest = 0;
    for (int b = kSuggestFirstBin; b < bins; ++b)
        for (int k : frames)
            largest = std::fmax(largest, std::fabs(ProfileBin(profileTable, b, k)));
    const int exponent = RangeExponent(&largest, 1);

    // Each bin over the frames, clipped, with its spread and its mean.
    std::vector<std::vector<double>> values(static_cast<std::size_t>(bins));
    std::vector<double> spread(std::size_t(bins), 0), mean(std::size_t(bins), 0);
    for (int b = kSuggestFirstBin; b < bins; ++b) {
        std::vector<double>& v = values[std::size_t(b)];
        v.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            v[i] = std::ldexp(ProfileBin(profileTable, b, frames[i]), exponent);
        double q1 = 0, q3 = 0;
        Quartiles(v, q1, q3);
        // Back in frame order for the sums below.
        for (std::size_t i = 0; i < n; ++i)
            v[i] = std::ldexp(ProfileBin(profileTable, b, frames[i]), exponent);
        const double iqr = q3 - q1;
        double sum = 0;
        for (double& x : v)
            sum += x = std::clamp(x, q1 - kClipSpreads * iqr, q3 + kClipSpreads * iqr);
        spread[std::size_t(b)] = iqr;
        mean[std::size_t(b)] = sum / double(n);
    }

    // First guess: the bins that spread most against the spread of the highest bins.
    std::vector<double> noiseSpreads(spread.begin() + kNoiseFirstBin, spread.end());
    std::nth_element(noiseSpreads.begin(), noiseSpreads.begin() + long(noiseSpreads.size() / 2),
                     noiseSpreads.end());
    const double floor = std::max(noiseSpreads[noiseSpreads.size() / 2], 1.0);
    BandSuggestion best = BestRun(spread, std::vector<double>(std::size_t(bins), floor));
    if (!best.found) return best;

    // Then twice: the band's score stands for sharpness; each bin's signal is what it shares
    // with that score, its noise the rest of its spread. Brightness changes and noise that
    // every bin shares thus count against a bin, not for it.
    for (int round = 0; round < 2; ++round) {
        std::vector<double> score(n, 0);
        for (int b = best.band.low; b <= best.band.high; ++b)
            for (std::size_t i = 0; i < n; ++i)
                score[i] += values[std::size_t(b)][i] - mean[std::size_t(b)];
        double variance = 0;
        for (double x : score) variance += x * x;
        if (variance <= 0) break;
        const double scale = std::sqrt(variance / double(n));
        std::vector<double> signal(std::size_t(bins), 0), noise(std::size_t(bins), 0);
        for (int b = kSuggestFirstBin; b < bins; ++b) {
            double shared = 0, own = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const double d = values[std::size_t(b)][i] - mean[std::size_t(b)];
                shared += d * score[i];
                own += d * d;
            }
            shared /= double(n) * scale;
            own /= double(n);
            signal[std::size_t(b)] = std::max(shared, 0.0);
            noise[std::size_t(b)] = std::sqrt(std::max(own - shared * shared, 0.0));
        }
        const BandSuggestion next = BestRun(signal, noise);
        if (!next.found) break;
        best = next;
    }
    return best;
}

namespace {

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

}  // namespace

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
