#include "frame_scores.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

using namespace framesifter;

TEST(FrameScores, BandScoresAreTheSumsOfEachFramesBinsInTheBand) {
    constexpr int kColumns = 6;
    IntPlane table;
    ASSERT_TRUE(table.allocate(kTableBins, kColumns));
    for (int b = 0; b < kTableBins; ++b)
        for (int k = 0; k < kColumns; ++k) table[b][k] = (b * 37 + k * 11) % 1000 - 300;
    const auto fractions = [](double scale) {
        std::array<double, kTableBins> column{};
        for (int b = 0; b < kTableBins; ++b) column[std::size_t(b)] = (b + 0.25) * scale;
        return column;
    };
    const struct {
        const char* name;
        Band band;
        int count;
        std::map<int, std::array<double, kTableBins>> exact;
        std::size_t scored;
    } cases[] = {
        {"default band", Band{}, 5, {}, 5},
        {"crossed markers", Band{50, 25}, 5, {}, 5},
        {"band past both ends", Band{-10, 300}, kColumns, {}, kColumns},
        {"one bin", Band{0, 0}, 3, {}, 3},
        {"whole columns", Band{}, 5, {{1, fractions(1e-3)}, {3, fractions(1e300)}}, 5},
        {"columns beyond the list", Band{}, 2, {{-1, fractions(1)}, {4, fractions(1)}}, 2},
        {"more frames than columns", Band{}, kColumns + 4, {}, kColumns},
        {"no frames", Band{}, 0, {}, 0},
        {"a negative count", Band{}, -3, {}, 0},
    };
    for (const auto& c : cases) {
        ProfileColumns profiles(table);
        profiles.exact = &c.exact;
        const std::vector<double> scores = BandScores(profiles, c.count, c.band);
        ASSERT_EQ(scores.size(), c.scored) << c.name;
        const int low = std::max(0, std::min(c.band.low, c.band.high));
        const int high = std::min(kTableBins - 1, std::max(c.band.low, c.band.high));
        for (std::size_t k = 0; k < scores.size(); ++k) {
            const auto whole = c.exact.find(int(k));
            double sum = 0;
            for (int b = low; b <= high; ++b)
                sum += whole != c.exact.end() ? whole->second[std::size_t(b)] : table[b][k];
            EXPECT_EQ(scores[k], sum) << c.name << ", frame " << k;
        }
    }
}

namespace {

// Profiles of `frames` frames as a run keeps them: detail that reaches further out the
// better the seeing, frame by frame in a shuffled order, over a floor of white noise that
// grows with the ring's radius. Under `cloud` each frame passes a share of the light from
// 0.6 to 1 in another order, and its shot noise goes with the square root of its light.
AnalysisResults SeeingProfiles(int frames, double level, double noise, bool cloud = false) {
    AnalysisResults results;
    std::string error;
    EXPECT_TRUE(CreateAnalysisResults(results, frames, error)) << error;
    for (int k = 0; k < frames; ++k) {
        const double reach = 12.0 + 0.25 * ((k * 7) % frames);
        const double light = cloud ? 0.6 + 0.4 * ((k * 5 + 3) % frames) / (frames - 1) : 1.0;
        for (int b = 0; b < kExactBins; ++b) {
            const double bin = b == 0 ? level * light * 65536
                                      : level * (light * 3000.0 * std::exp(-b / reach) +
                                                 noise * std::sqrt(light) * b);
            results.exactBins[std::size_t(k) * kExactBins + std::size_t(b)] = float(bin);
            results.profileTable[b][k] = int(bin);
        }
    }
    return results;
}

// Each frame's place when the scores are ordered, best first.
std::vector<int> Places(const std::vector<double>& scores) {
    std::vector<int> order(scores.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return scores[std::size_t(a)] > scores[std::size_t(b)]; });
    return order;
}

}  // namespace

TEST(FrameScores, NormalisedScoresFollowTheDetailNotTheLightOrTheNoise) {
    constexpr int kFrames = 12;
    const AnalysisResults plain = SeeingProfiles(kFrames, 1.0, 2.0);
    const std::vector<double> reference = NormalisedScores(plain, kFrames, Band{});
    std::vector<double> reach(kFrames);
    for (int k = 0; k < kFrames; ++k) reach[std::size_t(k)] = (k * 7) % kFrames;
    EXPECT_EQ(Places(reference), Places(reach));
    const struct {
        const char* name;
        double level, noise;
        bool cloud;
        bool sameValues;  // else the same order
    } cases[] = {
        {"values x1000", 1000.0, 2.0, false, true},
        {"values scaled to 0..1", 1.0 / 65536, 2.0, false, true},
        {"three times the noise", 1.0, 6.0, false, false},
        {"no noise at all", 1.0, 0.0, false, false},
        {"thin cloud", 1.0, 2.0, true, false},
        {"thin cloud, more noise", 1.0, 6.0, true, false},
    };
    for (const auto& c : cases) {
        const AnalysisResults profiles = SeeingProfiles(kFrames, c.level, c.noise, c.cloud);
        const std::vector<double> scores = NormalisedScores(profiles, kFrames, Band{});
        ASSERT_EQ(scores.size(), reference.size()) << c.name;
        EXPECT_EQ(Places(scores), Places(reach)) << c.name;
        if (c.cloud) {
            EXPECT_NE(Places(BandScores(profiles, kFrames, Band{})), Places(reach))
                << c.name << ": the band sum should follow the light";
        }
        for (std::size_t k = 0; c.sameValues && k < scores.size(); ++k)
            EXPECT_NEAR(scores[k], reference[k], 1e-4 * std::fabs(reference[k])) << c.name;
    }
    // A frame without light has no level to measure detail against.
    AnalysisResults dark = SeeingProfiles(3, 1.0, 2.0);
    dark.exactBins[kExactBins] = 0;
    EXPECT_EQ(NormalisedScores(dark, 3, Band{})[1], 0.0);
    // Bins past the kept ones add nothing: the band is read within them.
    EXPECT_EQ(NormalisedScores(plain, kFrames, Band{100, 200}),
              NormalisedScores(plain, kFrames, Band{kExactBins - 1, 100}));
}
