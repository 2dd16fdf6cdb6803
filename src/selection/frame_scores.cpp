#include "frame_scores.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace framesifter {

const char* ScoreKindName(ScoreKind kind) {
    return kind == ScoreKind::Normalised ? "normalised" : "band";
}

bool ParseScoreKind(const std::string& text, ScoreKind& kind) {
    for (ScoreKind k : {ScoreKind::Band, ScoreKind::Normalised})
        if (text == ScoreKindName(k)) {
            kind = k;
            return true;
        }
    return false;
}

double ProfileBin(const ProfileColumns& profiles, int bin, int frame) {
    if (profiles.exact) {
        const auto column = profiles.exact->find(frame);
        if (column != profiles.exact->end()) return column->second[std::size_t(bin)];
    }
    if (profiles.exactBins && bin < kExactBins && frame < profiles.exactFrames)
        return profiles.exactBins[std::size_t(frame) * kExactBins + std::size_t(bin)];
    return profiles.table[bin][frame];
}

namespace {

// Markers can cross with one stray click; the band is what lies between them.
std::pair<int, int> Ordered(Band band) {
    return band.low <= band.high ? std::pair(band.low, band.high) : std::pair(band.high, band.low);
}

}  // namespace

std::vector<double> BandScores(const ProfileColumns& profiles, int count, Band band) {
    count = std::clamp(count, 0, profiles.table.second());
    auto [low, high] = Ordered(band);
    low = std::max(low, 0);
    high = std::min(high, profiles.table.first() - 1);
    std::vector<double> scores(std::size_t(count), 0.0);
    // Row by row follows the table's layout; each frame still adds its bins from low to high.
    for (int r = low; r <= high; ++r) {
        const std::int32_t* row = profiles.table[r];
        for (int k = 0; k < count; ++k) scores[std::size_t(k)] += row[k];
    }
    if (!profiles.exact) return scores;
    for (const auto& [frame, column] : *profiles.exact) {
        if (frame < 0 || frame >= count) continue;
        double score = 0;
        for (int r = low; r <= high; ++r) score += column[std::size_t(r)];
        scores[std::size_t(frame)] = score;
    }
    return scores;
}

namespace {

// The median of bin / radius over the noise rings: the frame's noise per unit of radius.
double NoiseSlope(const ProfileColumns& profiles, int frame) {
    constexpr int n = kNoiseFloorLastBin - kNoiseFloorFirstBin + 1;
    double slopes[n];
    for (int b = kNoiseFloorFirstBin; b <= kNoiseFloorLastBin; ++b)
        slopes[b - kNoiseFloorFirstBin] = ProfileBin(profiles, b, frame) / b;
    std::nth_element(slopes, slopes + n / 2, slopes + n);
    const double upper = slopes[n / 2];
    if (n % 2) return upper;
    return (upper + *std::max_element(slopes, slopes + n / 2)) / 2;
}

}  // namespace

std::vector<double> NoiseFloors(const ProfileColumns& profiles, int count) {
    count = std::clamp(count, 0, profiles.table.second());
    std::vector<double> floors(std::size_t(count), 0.0);
    // One power of two for all, so that squares neither overflow nor vanish and any scale
    // gives the same floors relative to the frames.
    double largest = 0;
    for (int k = 0; k < count; ++k) {
        const double level = ProfileBin(profiles, 0, k);
        if (level > 0 && std::isfinite(level)) largest = std::max(largest, level);
    }
    if (largest == 0) return floors;
    int exponent = 0;
    std::frexp(largest, &exponent);
    // Noise power grows linearly with the light (shot noise) over a constant part (read
    // noise): slope^2 = a + b x level, fitted over the frames by least squares.
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    std::vector<double> levels(std::size_t(count), 0.0);
    for (int k = 0; k < count; ++k) {
        const double level = std::ldexp(ProfileBin(profiles, 0, k), -exponent);
        if (!(level > 0) || !std::isfinite(level)) continue;
        const double slope = std::ldexp(NoiseSlope(profiles, k), -exponent);
        levels[std::size_t(k)] = level;
        floors[std::size_t(k)] = slope;
        n += 1;
        sx += level;
        sy += slope * slope;
        sxx += level * level;
        sxy += level * slope * slope;
    }
    const double spread = n * sxx - sx * sx;
    // Frames all of one level share one noise; with too few, each keeps its own.
    const bool fit = n >= 3;
    const double b = fit && spread > 1e-12 * n * sxx ? (n * sxy - sx * sy) / spread : 0;
    const double a = fit ? (sy - b * sx) / n : 0;
    for (int k = 0; k < count; ++k) {
        const double level = levels[std::size_t(k)];
        if (level == 0) continue;
        const double slope = fit ? std::sqrt(std::max(a + b * level, 0.0)) : floors[std::size_t(k)];
        floors[std::size_t(k)] = std::ldexp(slope, exponent);
    }
    return floors;
}

std::vector<double> NormalisedScores(const ProfileColumns& profiles, int count, Band band) {
    count = std::clamp(count, 0, profiles.table.second());
    auto [low, high] = Ordered(band);
    low = std::max(low, 0);
    high = std::min(high, kExactBins - 1);
    double radii = 0;
    for (int r = low; r <= high; ++r) radii += r;
    const std::vector<double> floors = NoiseFloors(profiles, count);
    std::vector<double> scores(std::size_t(count), 0.0);
    for (int k = 0; k < count; ++k) {
        const double level = ProfileBin(profiles, 0, k);
        if (!(level > 0) || !std::isfinite(level)) continue;
        double sum = 0;
        for (int r = low; r <= high; ++r) sum += ProfileBin(profiles, r, k);
        scores[std::size_t(k)] = (sum - floors[std::size_t(k)] * radii) / level;
    }
    return scores;
}

std::vector<double> FrameScores(const ProfileColumns& profiles, int count, Band band,
                                ScoreKind kind) {
    return kind == ScoreKind::Normalised ? NormalisedScores(profiles, count, band)
                                         : BandScores(profiles, count, band);
}

}  // namespace framesifter
