#include "band_suggestion.h"
#include "frame_scores.h"
#include "ranking.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

using namespace framesifter;

namespace {

// A sequence whose frame k has seeing `Blur(k)`: a falling spectrum that the blur cuts off,
// a brightness that wanders over the low bins, and noise in every bin. Hidden columns come
// first and are filled with nonsense.
struct Sequence {
    int frames = 40;
    int hidden = 0;    // leading columns left out
    int outlier = -1;  // a frame with a bright streak across every bin
    IntPlane table;
    std::vector<double> sharpness;

    static double Blur(int k) { return 0.6 + 2.0 * std::fmod(k * 0.618034, 1.0); }

    void build() {
        ASSERT_TRUE(table.allocate(kTableBins, hidden + frames));
        std::uint64_t state = 12345;
        const auto noise = [&] {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            return double(state >> 11) / 9007199254740992.0 - 0.5;
        };
        for (int c = 0; c < hidden; ++c)
            for (int b = 0; b < kTableBins; ++b) table[b][c] = 1000000 * ((b + c) % 3);
        for (int k = 0; k < frames; ++k) {
            const double blur = Blur(k), gain = 1 + 0.05 * std::sin(k * 1.7);
            sharpness.push_back(-blur);
            for (int b = 0; b < kTableBins; ++b) {
                const double f = b / 60.0;
                double v = gain * 20000 / (1 + b) * std::exp(-19.7 * blur * blur * f * f);
                v += 400 + 120 * noise() + (b < 12 ? 300 * std::cos(k * 2.3) : 0);
                if (k == outlier) v += 50000;
                table[b][hidden + k] = int(v);
            }
        }
    }
    std::vector<LeftOutFrame> leftOut() const {
        std::vector<LeftOutFrame> out;
        for (int c = 0; c < hidden; ++c) out.push_back({c, "x", "unreadable"});
        return out;
    }
    double rho(Band band) const {
        const std::vector<double> all = BandScores(table, hidden + frames, band);
        return RankCorrelation(std::vector<double>(all.begin() + hidden, all.end()), sharpness);
    }
};

}  // namespace

TEST(BandSuggestion, FindsTheBinsThatTrackTheBlurWhateverElseTheTableHolds) {
    struct Case {
        const char* name;
        int frames, hidden, outlier;
    };
    const Case cases[] = {
        {"plain", 40, 0, -1},
        {"left-out columns hold nonsense", 40, 3, -1},
        {"one frame streaked", 40, 0, 7},
        {"few frames", 8, 2, -1},
    };
    Band plain;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sequence s;
        s.frames = c.frames;
        s.hidden = c.hidden;
        s.outlier = c.outlier;
        s.build();
        const BandSuggestion got = SuggestBand(s.table, c.hidden + c.frames, s.leftOut());
        ASSERT_TRUE(got.found);
        EXPECT_GE(got.band.low, kSuggestFirstBin);
        EXPECT_LE(got.band.low, got.band.high);
        EXPECT_LE(got.band.high, kSuggestLastBin);
        EXPECT_LE(got.band.high, 60) << "past bin 60 the blur leaves nothing but noise";
        EXPECT_GT(s.rho(got.band), 0.9);
        EXPECT_GE(s.rho(got.band), s.rho(Band{}));
        if (c.hidden == 0 && c.outlier < 0 && c.frames == 40) plain = got.band;
        // Left-out columns change nothing; one odd frame hardly anything.
        const int slack = c.outlier >= 0 ? 2 : 0;
        if (c.frames == 40) {
            EXPECT_NEAR(got.band.low, plain.low, slack);
            EXPECT_NEAR(got.band.high, plain.high, slack);
        }
    }
}

TEST(BandSuggestion, WholeColumnsOfAnyScaleSuggestTheBandOfTheirTable) {
    // Frames of small or huge real values keep their columns whole; the table holds them
    // as zeros or saturated.
    Sequence s;
    s.build();
    const BandSuggestion plain = SuggestBand(s.table, s.frames);
    ASSERT_TRUE(plain.found);
    for (int exponent : {-30, 40, 900}) {
        AnalysisResults results;
        std::string error;
        ASSERT_TRUE(CreateAnalysisResults(results, s.frames, error)) << error;
        for (int k = 0; k < s.frames; ++k)
            for (int b = 0; b < kTableBins; ++b)
                results.exactColumns[k][b] = std::ldexp(s.table[b][k], exponent);
        const BandSuggestion scaled = SuggestBand(results, s.frames);
        ASSERT_TRUE(scaled.found) << exponent;
        EXPECT_EQ(scaled.band.low, plain.band.low) << exponent;
        EXPECT_EQ(scaled.band.high, plain.band.high) << exponent;
    }
}

TEST(BandSuggestion, NoSuggestionWithoutEnoughFramesOrDetail) {
    IntPlane table;
    ASSERT_TRUE(table.allocate(kTableBins, 10));
    for (int b = 0; b < kTableBins; ++b)
        for (int k = 0; k < 10; ++k) table[b][k] = 500 - b;
    EXPECT_FALSE(SuggestBand(table, 10).found) << "identical frames";
    table[40][3] = 9000;
    EXPECT_FALSE(SuggestBand(table, 10).found) << "one odd frame is no detail";
    for (int k = 0; k < 10; ++k) table[40][k] = 500 + 100 * k;
    EXPECT_TRUE(SuggestBand(table, 10).found);
    EXPECT_FALSE(SuggestBand(table, kSuggestMinFrames - 1).found);
    std::vector<LeftOutFrame> most;
    for (int k = 0; k < 10 - kSuggestMinFrames + 1; ++k) most.push_back({k, "x", ""});
    EXPECT_FALSE(SuggestBand(table, 10, most).found) << "too few frames not left out";
}

TEST(BandSuggestion, RankCorrelation) {
    const struct {
        std::vector<double> a, b;
        double rho;
    } cases[] = {
        {{1, 2, 3}, {10, 20, 30}, 1},
        {{1, 2, 3}, {3, 2, 1}, -1},
        {{1, 1, 2, 2}, {1, 2, 3, 4}, 4 / std::sqrt(20.0)},  // ties share their mean rank
        {{5, 5, 5}, {1, 2, 3}, 0},
        {{1}, {1}, 0},
        {{1, 2}, {1, 2, 3}, 0},
    };
    for (const auto& c : cases) EXPECT_NEAR(RankCorrelation(c.a, c.b), c.rho, 1e-12);
}
