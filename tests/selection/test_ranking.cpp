#include "frame_flags.h"
#include "frame_scores.h"
#include "ranking.h"
#include "score_csv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

using namespace framesifter;

namespace {

class Best : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(CreateAnalysisResults(state, error)) << error;
    }
    // File k scores scores[k] over the default band; bins outside it must not count.
    void Scores(const std::vector<int>& scores) {
        for (std::size_t k = 0; k < scores.size(); ++k) {
            state.profileTable[30][k] = scores[k];
            state.profileTable[51][k] = 1000000;
        }
    }
    AnalysisResults state;
};

}  // namespace

TEST(Ranking, OrdinalRanksBreakTiesByListOrder) {
    const struct {
        std::vector<double> scores;
        std::vector<int> ranks;
    } cases[] = {
        {{}, {}},
        {{5}, {1}},
        {{10, 30, 20}, {3, 1, 2}},
        {{7, 7, 7}, {1, 2, 3}},
        {{1, 9, 9, 3, 9}, {5, 1, 2, 4, 3}},
        {{-2, 0.5, 0.25}, {3, 1, 2}},
    };
    for (const auto& c : cases) EXPECT_EQ(Ranks(c.scores), c.ranks) << c.scores.size();
}

TEST_F(Best, PassesExactlyTheBestWithTheEarlierFrameWinningATie) {
    const struct {
        std::vector<int> scores;
        int best;
        std::vector<int> passed;
        double threshold;
    } cases[] = {
        {{10, 30, 20}, 1, {1}, 30},         {{10, 30, 20}, 2, {1, 2}, 20},
        {{10, 30, 20}, 3, {0, 1, 2}, 10},   {{10, 30, 20}, 50, {0, 1, 2}, 10},
        {{10, 30, 20}, 0, {}, 30},          {{5, 9, 5, 5, 1}, 2, {0, 1}, 5},
        {{5, 9, 5, 5, 1}, 3, {0, 1, 2}, 5}, {{4, 4, 4, 4}, 2, {0, 1}, 4},
    };
    for (const auto& c : cases) {
        Scores(c.scores);
        const SelectionResult r =
            SelectBest(BandScores(state.profileTable, int(c.scores.size()), Band{}), c.best);
        EXPECT_EQ(r.passed, c.passed) << c.best;
        EXPECT_EQ(r.threshold, c.threshold) << c.best;
        // The ranks say the same: best N is rank <= N.
        const auto ranks = Ranks(BandScores(state.profileTable, int(c.scores.size()), Band{}));
        std::vector<int> byRank;
        for (std::size_t k = 0; k < ranks.size(); ++k)
            if (ranks[k] <= c.best) byRank.push_back(int(k));
        EXPECT_EQ(byRank, c.passed) << c.best;
    }
}

TEST_F(Best, EachRuleKindSelectsItsOwnWay) {
    Scores({10, 50, 20, 40, 30});
    Percent forty;
    ASSERT_TRUE(ParsePercent("40", forty));
    const struct {
        PassRule rule;
        int level;
        std::vector<int> passed;
    } cases[] = {
        {{PassRule::Kind::Level, 1, {}}, 5, {1, 3, 4}},
        {{PassRule::Kind::Level, 1, {}}, 10, {1}},
        {{PassRule::Kind::Best, 1, {}}, 0, {1}},
        {{PassRule::Kind::Best, 4, {}}, 10, {1, 2, 3, 4}},
        {{PassRule::Kind::BestPercent, 0, forty}, 10, {1, 3}},
    };
    for (const auto& c : cases) {
        const SelectionResult r =
            SelectByRule(BandScores(state.profileTable, 5, Band{}), c.level, c.rule);
        EXPECT_EQ(r.passed, c.passed) << int(c.rule.kind) << " " << c.level;
    }
}

TEST_F(Best, LeftOutFramesNeverPassNorRankNorCount) {
    // Frames 1 and 3 were left out: their table columns hold zeros, or stale high values.
    Scores({10, 90, 20, 80, 30});
    const std::vector<LeftOutFrame> leftOut = {{1, {"b", 0}, "unreadable"},
                                               {3, {"d", 0}, "", 100, 80}};
    Percent half;
    ASSERT_TRUE(ParsePercent("50", half));
    const struct {
        PassRule rule;
        int level;
        std::vector<int> passed;
    } cases[] = {
        {{PassRule::Kind::Best, 1, {}}, 0, {4}},
        {{PassRule::Kind::Best, 2, {}}, 0, {2, 4}},
        {{PassRule::Kind::Best, 9, {}}, 0, {0, 2, 4}},
        {{PassRule::Kind::BestPercent, 0, half}, 0, {2, 4}},  // half of three scored frames
        {{PassRule::Kind::Level, 0, {}}, 10, {4}},
    };
    for (const auto& c : cases) {
        const SelectionResult r =
            SelectByRule(BandScores(state.profileTable, 5, Band{}), c.level, c.rule, leftOut);
        EXPECT_EQ(r.passed, c.passed) << int(c.rule.kind) << " " << c.rule.best;
        EXPECT_EQ(r.maximum, 30);
        EXPECT_EQ(r.minimum, 10);
    }
    EXPECT_EQ(Ranks(BandScores(state.profileTable, 5, Band{}), leftOut),
              (std::vector<int>{3, 0, 2, 0, 1}));
}

TEST(Ranking, PercentIsParsedExactlyAndRejectsAnythingElse) {
    const struct {
        const char* text;
        bool ok;
        long long scaled;
        int decimals;
    } cases[] = {
        {"50", true, 50, 0},
        {"0.1", true, 1, 1},
        {"12.50", true, 1250, 2},
        {".5", true, 5, 1},
        {"5.", true, 5, 0},
        {"100", true, 100, 0},
        {"100.000", true, 100000, 3},
        {"0.000000001", true, 1, 9},
        {"007", true, 7, 0},
        {"0", false, 0, 0},
        {"0.0", false, 0, 0},
        {"100.001", false, 0, 0},
        {"101", false, 0, 0},
        {"", false, 0, 0},
        {".", false, 0, 0},
        {"1.2.3", false, 0, 0},
        {"-5", false, 0, 0},
        {"+5", false, 0, 0},
        {"1e1", false, 0, 0},
        {" 5", false, 0, 0},
        {"5%", false, 0, 0},
        {"1,5", false, 0, 0},
        {"0.0000000001", false, 0, 0},
        {"99999999999999999999999", false, 0, 0},
    };
    for (const auto& c : cases) {
        Percent p;
        EXPECT_EQ(ParsePercent(c.text, p), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(p.scaled, c.scaled) << c.text;
        EXPECT_EQ(p.decimals, c.decimals) << c.text;
    }
}

TEST(Ranking, PercentCountIsAnExactCeiling) {
    const struct {
        const char* text;
        int count;
        int best;
    } cases[] = {
        // In binary floating point 0.1 * 1000 / 100 lands just above 1.
        {"0.1", 1000, 1},    {"0.1", 1001, 2},      {"0.3", 1000, 3},
        {"10", 4000, 400},   {"33.3", 1000, 333},   {"33.35", 1000, 334},
        {"100", 7, 7},       {"0.000000001", 1, 1}, {"50", 0, 0},
        {"1", 100000, 1000}, {"0.7", 100000, 700},  {"99.999999999", 100000, 100000},
        {"12.5", 8, 1},      {"12.6", 8, 2},
    };
    for (const auto& c : cases) {
        Percent p;
        ASSERT_TRUE(ParsePercent(c.text, p)) << c.text;
        EXPECT_EQ(CountForPercent(p, c.count), c.best) << c.text << " of " << c.count;
    }
}

TEST(ScoreCsv, FieldsAreQuotedAsRfc4180Says) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"plain.fit", "plain.fit"},
        {"a,b.fit", "\"a,b.fit\""},
        {"say \"hi\".fit", "\"say \"\"hi\"\".fit\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\rname", "\"cr\rname\""},
        {"", ""},
        {"space and 'single'", "space and 'single'"},
    };
    for (const auto& c : cases) EXPECT_EQ(CsvField(c.in), c.out) << c.in;
}

TEST(ScoreCsv, ScoresReadBackExactlyAndWholeOnesHaveNoPoint) {
    const double largest = std::numeric_limits<double>::max();
    const struct {
        double score;
        const char* text;  // "" where only reading back is checked
    } cases[] = {
        {0, "0"},
        {40, "40"},
        {12.9, "12.9"},
        {0.1 + 0.2, "0.30000000000000004"},
        {9223372036854775808.0, "9223372036854775808"},  // past long long
        {1e19, "10000000000000000000"},
        {1.7e18 + 256, "1700000000000000256"},
        {123456789012345.0, "123456789012345"},
        {1e300, ""},
        {largest, ""},
        {1e-300, ""},
        {std::numeric_limits<double>::denorm_min(), ""},
        {4503599627370495.5, "4503599627370495.5"},  // the largest doubles with a fraction
    };
    for (const auto& c : cases) {
        const std::string text = ScoreText(c.score);
        EXPECT_TRUE(!*c.text || text == c.text) << text;
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), c.score) << text;
        EXPECT_EQ(text.find_first_of("eE"), std::string::npos) << text;
        EXPECT_EQ(text.find('.') == std::string::npos, c.score == std::trunc(c.score)) << text;
        const std::string shortText = ShortScoreText(c.score);
        EXPECT_EQ(std::strtod(shortText.c_str(), nullptr), c.score) << shortText;
        EXPECT_LE(shortText.size(), 24u) << shortText;
    }
    EXPECT_EQ(ScoreText(largest).size(), 309u);
}

TEST(ScoreCsv, ColumnsScoresAndRanks) {
    const std::vector<FrameRef> files{{"/d/a.fit", 0}, {"/d/b,c.fit", 0}, {"/d/v.ser", 7}};
    const std::vector<double> scores{12.9, 40, -3.5};
    const std::vector<char> passed{0, 1, 1};
    const std::vector<int> ranks = Ranks(scores);
    EXPECT_EQ(ScoresCsv(files, scores, passed),
              "file,score,passed\n/d/a.fit,12.9,0\n\"/d/b,c.fit\",40,1\n/d/v.ser#7,-3.5,1\n");
    EXPECT_EQ(ScoresCsv(files, scores, passed, &ranks),
              "file,score,passed,rank\n/d/a.fit,12.9,0,2\n\"/d/b,c.fit\",40,1,1\n/d/v.ser#7,-3.5,"
              "1,3\n");
    EXPECT_EQ(ScoresCsv({}, {}, {}, &ranks), "file,score,passed,rank\n");
    // Flags come last; a frame left out of the ranking has an empty rank.
    const std::vector<std::uint8_t> flags{0, kFlagSaturated | kFlagEdge, kFlagOdd};
    const std::vector<int> unranked{1, 0, 2};
    EXPECT_EQ(ScoresCsv(files, scores, passed, nullptr, &flags),
              "file,score,passed,flags\n/d/a.fit,12.9,0,\n\"/d/b,c.fit\",40,1,saturated;edge\n"
              "/d/v.ser#7,-3.5,1,odd\n");
    EXPECT_EQ(ScoresCsv(files, scores, passed, &unranked, &flags),
              "file,score,passed,rank,flags\n/d/a.fit,12.9,0,1,\n\"/d/"
              "b,c.fit\",40,1,,saturated;edge\n"
              "/d/v.ser#7,-3.5,1,2,odd\n");
}

TEST(ScoresCsv, AnExportNameWithoutExtensionGetsCsv) {
    const std::pair<std::string, std::string> names[] = {
        {"/night/gui_l5", "/night/gui_l5.csv"},
        {"/night/gui_l5.csv", "/night/gui_l5.csv"},
        {"/night/scores.txt", "/night/scores.txt"},    // an extension of the user's own
        {"/night.v2/scores", "/night.v2/scores.csv"},  // a dot in a folder
        {"/night/.scores", "/night/.scores.csv"},      // a hidden file's leading dot
        {"木星_選別", "木星_選別.csv"},
    };
    for (const auto& [chosen, written] : names) EXPECT_EQ(CsvFileName(chosen), written) << chosen;
}
