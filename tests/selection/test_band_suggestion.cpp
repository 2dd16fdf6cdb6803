#include "band_suggestion.h"
#include "characteristic.h"
#include "frame_scores.h"
#include "ranking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

using namespace framesifter;

namespace {

// Profiles as the analysis gives them, in whole columns: frame k seen through seeing of width
// Blur(k), whose detail falls off exponentially with the bin, dimmed by cloud, with noise that
// fills every ring cell alike and so grows with the bin. Hidden columns come first and hold
// nonsense.
struct Sequence {
    int frames = 40;
    int hidden = 0;          // leading columns left out
    int outlier = -1;        // a frame with a bright streak across every bin
    bool cloud = false;      // transparency from 0.6 to 1
    bool seeing = true;      // false: every frame has the same seeing
    double noise = 0.1;      // noise per ring cell against the detail
    double detailScale = 1;  // 0: noise alone
    double scale = 1;        // every value multiplied by this
    AnalysisResults results;
    std::vector<double> sharpness;
    std::vector<int> cells = RingCellCounts(kWindowSize);

    static double Blur(int k) { return 0.6 + 2.0 * std::fmod(k * 0.618034, 1.0); }
    double detail(int bin, double blur) const {
        return detailScale * 1000.0 * cells[std::size_t(bin)] / bin * std::exp(-bin * blur / 8);
    }

    void build() {
        std::string error;
        ASSERT_TRUE(CreateAnalysisResults(results, hidden + frames, error)) << error;
        std::uint64_t state = 12345;
        const auto uniform = [&] {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            return (double(state >> 11) + 0.5) / 9007199254740992.0;
        };
        const auto gauss = [&] {
            return std::sqrt(-2 * std::log(uniform())) * std::cos(6.283185307179586 * uniform());
        };
        for (int c = 0; c < hidden; ++c)
            for (int b = 0; b < kTableBins; ++b)
                results.exactColumns[c][std::size_t(b)] = 1e6 * ((b + c) % 3) * scale;
        for (int k = 0; k < frames; ++k) {
            const double blur = seeing ? Blur(k) : 1.6;
            const double light = cloud ? 0.6 + 0.4 * uniform() : 1;
            sharpness.push_back(-blur);
            auto& column = results.exactColumns[hidden + k];
            column[0] = 1e7 * light * scale;
            for (int b = 1; b < kTableBins; ++b) {
                const double n = cells[std::size_t(b)];
                // Shot noise: its amplitude follows the square root of the light.
                double v = light * detail(b, blur) +
                           noise * std::sqrt(light) * (n + 0.5 * std::sqrt(n) * gauss());
                if (k == outlier) v += 50000;
                column[std::size_t(b)] = std::max(v, 0.0) * scale;
            }
        }
    }
    std::vector<LeftOutFrame> leftOut() const {
        std::vector<LeftOutFrame> out;
        for (int c = 0; c < hidden; ++c) out.push_back({c, {"x", 0}, "unreadable"});
        return out;
    }
    double rho(Band band) const {
        const std::vector<double> all = BandScores(results, hidden + frames, band);
        return RankCorrelation(std::vector<double>(all.begin() + hidden, all.end()), sharpness);
    }
    // The first bin where the frame of middling seeing holds detail under 0.5 % of its noise.
    int noiseBin() const {
        int b = 1;
        while (b < kTableBins && detail(b, 1.6) >= 0.005 * noise * cells[std::size_t(b)]) ++b;
        return b;
    }
};

enum class Expect { Seeing, SameBand, NearBand, Better, NotLow };

Sequence With(void (*change)(Sequence&)) {
    Sequence s;
    change(s);
    return s;
}

}  // namespace

TEST(BandSuggestion, RanksTheSeeingAtLeastAsWellAsTheDefaultBandWhateverElseTheFramesHold) {
    struct Case {
        const char* name;
        Sequence s;
        Expect expect;
    } cases[] = {
        {"seeing alone", {}, Expect::Seeing},
        {"every value times 1000", With([](Sequence& s) { s.scale = 1000; }), Expect::SameBand},
        {"frames scaled to 0..1", With([](Sequence& s) { s.scale = 1e-6; }), Expect::SameBand},
        {"values near the largest double", With([](Sequence& s) { s.scale = std::ldexp(1, 900); }),
         Expect::SameBand},
        {"left-out columns hold nonsense", With([](Sequence& s) { s.hidden = 3; }),
         Expect::SameBand},
        {"one frame streaked", With([](Sequence& s) { s.outlier = 7; }), Expect::NearBand},
        {"few frames", With([](Sequence& s) { s.frames = 8, s.hidden = 2; }), Expect::Seeing},
        {"seeing under cloud", With([](Sequence& s) { s.cloud = true; }), Expect::Better},
        {"noise where the default band ends", With([](Sequence& s) { s.noise = 3; }),
         Expect::Better},
        {"cloud without seeing", With([](Sequence& s) { s.cloud = true, s.seeing = false; }),
         Expect::NotLow},
    };
    Band plain;
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sequence& s = c.s;
        s.build();
        const BandSuggestion got = SuggestBand(s.results, s.hidden + s.frames, s.leftOut());
        if (c.expect == Expect::NotLow) {
            // Brightness alone is no sharpness: nothing to suggest, or the default band.
            if (got.found) {
                EXPECT_GE(got.band.low, Band{}.low);
            }
            continue;
        }
        ASSERT_TRUE(got.found);
        EXPECT_GE(got.band.low, kSuggestFirstBin);
        EXPECT_LE(got.band.low, got.band.high);
        EXPECT_LT(got.band.high, s.noiseBin()) << "past the detail a band adds nothing but noise";
        const double chosen = s.rho(got.band), standard = s.rho(Band{});
        EXPECT_GE(chosen, standard - 0.01) << got.band.low << "-" << got.band.high;
        if (c.expect == Expect::Better) {
            EXPECT_GT(chosen, standard + 0.02) << got.band.low << "-" << got.band.high;
        }
        if (c.expect == Expect::Seeing && s.frames == 40) plain = got.band;
        // Scale and left-out columns change nothing; one odd frame hardly anything.
        const int slack = c.expect == Expect::NearBand ? 2 : 0;
        if (c.expect == Expect::SameBand || c.expect == Expect::NearBand) {
            EXPECT_NEAR(got.band.low, plain.low, slack);
            EXPECT_NEAR(got.band.high, plain.high, slack);
        }
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
    EXPECT_FALSE(SuggestBand(table, 10).found) << "one bin alone is no detail either";
    // Detail: a run of bins that agree on which frames are sharper.
    for (int b = 20; b <= 45; ++b)
        for (int k = 0; k < 10; ++k) table[b][k] = 500 - b + 10 * k;
    EXPECT_TRUE(SuggestBand(table, 10).found);
    EXPECT_FALSE(SuggestBand(table, kSuggestMinFrames - 1).found);
    for (int frames : {5, 10, 20}) {
        Sequence noise;
        noise.frames = frames;
        noise.detailScale = 0;
        noise.build();
        EXPECT_FALSE(SuggestBand(noise.results, frames).found)
            << frames << " frames of noise alone";
    }
    std::vector<LeftOutFrame> most;
    for (int k = 0; k < 10 - kSuggestMinFrames + 1; ++k) most.push_back({k, {"x", 0}, ""});
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
