#include "frame_scores.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

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
