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

std::vector<double> NormalisedScores(const ProfileColumns& profiles, int count, Band band) {
    count = std::clamp(count, 0, profiles.table.second());
    auto [low, high] = Ordered(band);
    low = std::max(low, 0);
    high = std::min(high, kExactBins - 1);
    double radii = 0;
    for (int r = low; r <= high; ++r) radii += r;
    std::vector<double> scores(std::size_t(count), 0.0);
    double bins[kExactBins];
    double slopes[kNoiseFloorLastBin - kNoiseFloorFirstBin + 1];
    for (int k = 0; k < count; ++k) {
        for (int b = 0; b < kExactBins; ++b) bins[b] = ProfileBin(profiles, b, k);
        if (!(bins[0] > 0) || !std::isfinite(bins[0])) continue;
        for (int b = kNoiseFloorFirstBin; b <= kNoiseFloorLastBin; ++b)
            slopes[b - kNoiseFloorFirstBin] = bins[b] / b;
        const int n = kNoiseFloorLastBin - kNoiseFloorFirstBin + 1;
        std::nth_element(slopes, slopes + n / 2, slopes + n);
        double slope = slopes[n / 2];
        if (n % 2 == 0) slope = (slope + *std::max_element(slopes, slopes + n / 2)) / 2;
        double sum = 0;
        for (int r = low; r <= high; ++r) sum += bins[r];
        scores[std::size_t(k)] = (sum - slope * radii) / bins[0];
    }
    return scores;
}

std::vector<double> FrameScores(const ProfileColumns& profiles, int count, Band band,
                                ScoreKind kind) {
    return kind == ScoreKind::Normalised ? NormalisedScores(profiles, count, band)
                                         : BandScores(profiles, count, band);
}

}  // namespace framesifter
