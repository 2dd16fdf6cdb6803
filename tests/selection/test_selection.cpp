#include "frame_flags.h"
#include "frame_scores.h"
#include "ranking.h"
#include "selection.h"

#include <algorithm>

#include <gtest/gtest.h>

using namespace framesifter;

namespace {

class Selection : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(CreateAnalysisResults(state, error)) << error;
    }
    SelectionResult Select(int count, int level) {
        return SelectFrames(BandScores(state.profileTable, count, band), level);
    }
    // Gives file k the score scores[k] spread over the default band 25..50.
    void Scores(const std::vector<int>& scores) {
        for (std::size_t k = 0; k < scores.size(); ++k) {
            state.profileTable[25][k] = scores[k] / 2;
            state.profileTable[50][k] = scores[k] - scores[k] / 2;
            state.profileTable[24][k] = 1000000;  // outside the band
            state.profileTable[51][k] = 1000000;
        }
    }
    AnalysisResults state;
    Band band;
};

}  // namespace

TEST_F(Selection, LevelsAndThresholds) {
    const struct {
        std::vector<int> scores;
        int level;
        double threshold;
        std::vector<int> passed;
    } cases[] = {
        {{10, 20, 30}, 5, 20, {1, 2}},
        {{30, 20, 10}, 5, 20, {0, 1}},
        {{10, 20, 30}, 0, 10, {0, 1, 2}},
        {{10, 20, 30}, 10, 30, {2}},
        {{30, 7, 30}, 10, 30, {0, 2}},
        {{7, 7, 7}, 10, 7, {0, 1, 2}},
        {{0, 100}, 3, 30, {1}},
        {{3, 4}, 7, 3.7, {1}},
        {{123457, 999999}, 0, 123457, {0, 1}},
    };
    for (const auto& c : cases) {
        Scores(c.scores);
        const SelectionResult r = Select(int(c.scores.size()), c.level);
        EXPECT_DOUBLE_EQ(r.threshold, c.threshold) << c.level;
        EXPECT_EQ(r.passed, c.passed) << c.level;
    }
}

TEST_F(Selection, ExtremeLevelsAreExactForManyScores) {
    for (int m = 1; m < 3000; m += 7) {
        Scores({m, m + 1, 3 * m});
        EXPECT_EQ(Select(3, 0).passed.size(), 3u) << m;
        EXPECT_EQ(Select(3, 10).passed, std::vector<int>{2}) << m;
    }
}

TEST_F(Selection, CrossedMarkersScoreTheBandBetweenThem) {
    Scores({10, 20, 30});
    for (int level : {0, 5, 10}) {
        band = Band{25, 50};
        const SelectionResult straight = Select(3, level);
        band = Band{50, 25};
        const SelectionResult crossed = Select(3, level);
        EXPECT_EQ(crossed.threshold, straight.threshold) << level;
        EXPECT_EQ(crossed.passed, straight.passed) << level;
    }
    EXPECT_EQ(BandScores(state.profileTable, 3, Band{50, 25})[2], 30);
}

TEST_F(Selection, TheRangeIsTheScoresOwnHoweverLarge) {
    // Scores of 32-bit and floating-point frames lie far beyond any fixed start value.
    const struct {
        std::vector<double> scores;  // each spread over the band's 26 bins
        int level;
        std::vector<int> passed;
    } cases[] = {
        {{8.9e17, 1.7e18}, 5, {1}},          {{1.7e18, 8.9e17, 1.6e18}, 5, {0, 2}},
        {{5.2e10, 5.1e10}, 5, {0}},          {{1e300, 3e300, 2.2e300}, 5, {1, 2}},
        {{1e-300, 3e-300, 2e-300}, 10, {1}},
    };
    for (const auto& c : cases) {
        state.exactColumns.clear();
        for (std::size_t k = 0; k < c.scores.size(); ++k)
            for (int b = 25; b <= 50; ++b) state.exactColumns[int(k)][b] = c.scores[k] / 26;
        const int n = int(c.scores.size());
        const std::vector<double> scores = BandScores(state, n, band);
        const SelectionResult r = SelectFrames(scores, c.level);
        EXPECT_EQ(r.minimum, *std::min_element(scores.begin(), scores.end())) << c.scores[0];
        EXPECT_EQ(r.maximum, *std::max_element(scores.begin(), scores.end())) << c.scores[0];
        EXPECT_EQ(r.passed, c.passed) << c.scores[0];
        const SelectionResult best = SelectBest(scores, 1);
        EXPECT_EQ(best.minimum, r.minimum);
        EXPECT_EQ(best.maximum, r.maximum);
    }
}

TEST_F(Selection, ResultsBelongToTheAnalysedFilesAndMode) {
    const std::vector<std::string> files = {"/a/1.fit", "/a/2.fit"};
    const WindowMode centre = WindowMode::Centre;
    EXPECT_FALSE(ResultsMatch(state, files, centre));  // no run yet
    state.files = files;
    state.mode = centre;
    EXPECT_TRUE(ResultsMatch(state, files, centre));
    EXPECT_FALSE(ResultsMatch(state, files, WindowMode::Peak));  // scores of the other mode
    EXPECT_FALSE(ResultsMatch(state, {"/a/2.fit", "/a/1.fit"}, centre));
    EXPECT_FALSE(ResultsMatch(state, {"/a/1.fit"}, centre));
    EXPECT_FALSE(ResultsMatch(state, {}, centre));
}

TEST_F(Selection, LeftOutFramesSetNoEndOfTheRangeAndNeverPass) {
    const struct {
        std::vector<int> scores;
        std::vector<int> leftOut;
        int level;
        double minimum, maximum;
        std::vector<int> passed;
    } cases[] = {
        // A zero column (what a left-out frame holds) would otherwise be the minimum.
        {{10, 0, 30, 20}, {1}, 5, 10, 30, {2, 3}},
        {{10, 0, 30, 20}, {1}, 0, 10, 30, {0, 2, 3}},
        {{10, 90, 30}, {1}, 10, 10, 30, {2}},
        {{10, 20}, {0, 1}, 0, 0, 0, {}},
    };
    for (const auto& c : cases) {
        Scores(c.scores);
        std::vector<LeftOutFrame> leftOut;
        for (int k : c.leftOut) leftOut.push_back({k, "f", "", 0, 0});
        const SelectionResult r = SelectFrames(
            BandScores(state.profileTable, int(c.scores.size()), band), c.level, leftOut);
        EXPECT_EQ(r.minimum, c.minimum) << c.level;
        EXPECT_EQ(r.maximum, c.maximum) << c.level;
        EXPECT_EQ(r.passed, c.passed) << c.level;
    }
}

TEST_F(Selection, FlaggedFramesLeftOutMoveTheThreshold) {
    // A noisy frame's high score would set the maximum; left out, the others span the range.
    const struct {
        std::vector<std::uint8_t> flags;
        std::vector<int> leftOut;
        double threshold;
        std::vector<int> passed;
        std::vector<int> excluded;
    } cases[] = {
        {{0, 0, 0, 0}, {}, 50, {2}, {}},
        {{0, 0, kFlagSaturated, 0}, {}, 20, {1, 3}, {2}},
        {{kFlagDuplicate, 0, kFlagOdd, 0}, {}, 25, {3}, {0, 2}},
        {{0, 0, kFlagEdge, 0}, {0}, 25, {3}, {0, 2}},
    };
    for (const auto& c : cases) {
        Scores({10, 20, 90, 30});
        std::vector<LeftOutFrame> leftOut;
        for (int k : c.leftOut) leftOut.push_back({k, "a", "", 0, 0});
        const std::vector<LeftOutFrame> excluded = LeftOutWithFlagged(leftOut, c.flags);
        std::vector<int> indices;
        for (const LeftOutFrame& f : excluded) indices.push_back(f.index);
        EXPECT_EQ(indices, c.excluded);
        const SelectionResult r =
            SelectFrames(BandScores(state.profileTable, 4, band), 5, excluded);
        EXPECT_EQ(r.threshold, c.threshold) << c.excluded.size();
        EXPECT_EQ(r.passed, c.passed) << c.excluded.size();
    }
}
