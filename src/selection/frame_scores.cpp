#include "frame_scores.h"

#include <algorithm>
#include <utility>

namespace framesifter {

double ProfileBin(const ProfileColumns& profiles, int bin, int frame) {
    if (profiles.exact) {
        const auto column = profiles.exact->find(frame);
        if (column != profiles.exact->end()) return column->second[std::size_t(bin)];
    }
    return profiles.table[bin][frame];
}

std::vector<double> BandScores(const ProfileColumns& profiles, int count, Band band) {
    count = std::clamp(count, 0, profiles.table.second());
    // Markers can cross with one stray click; the band is what lies between them.
    int low = band.low, high = band.high;
    if (low > high) std::swap(low, high);
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

}  // namespace framesifter
