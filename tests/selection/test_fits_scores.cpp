#include "batch_run.h"
#include "frame_scores.h"
#include "fits_library_writer.h"
#include "fits_writer.h"
#include "ranking.h"
#include "score_csv.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace framesifter;

namespace {

double Relative(double a, double b) { return std::fabs(a - b) / std::max(1.0, std::fabs(b)); }

}  // namespace

TEST(FitsGeneral, RealFramesKeepTheirProfileWholeAndIntegerFramesScoreAsBefore) {
    TempDir dir;
    const int side = 300;
    auto spot = [](int x, int y, int) {
        const double dx = x - 90.3, dy = y - 200.7;
        return 1000 * std::exp(-(dx * dx + dy * dy) / 50) + 0.001 * ((x * 31 + y * 17) % 97);
    };
    auto whole = [&](int x, int y, int p) { return std::floor(spot(x, y, p) * 40); };
    const std::string real = dir.file("real.fits"), integral = dir.file("integral.fits"),
                      camera = dir.file("camera.fit");
    ASSERT_TRUE(WriteWithLibrary(real, {-64}, side, side, spot));
    ASSERT_TRUE(WriteWithLibrary(integral, {-32}, side, side, whole));
    std::vector<std::uint16_t> words;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) words.push_back(std::uint16_t(whole(x, y, 0)));
    std::string error;
    ASSERT_TRUE(WriteFits16(camera, words.data(), side, side, error)) << error;

    const FftPlan plan(kWindowSize);
    for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
        AnalysisResults results;
        ASSERT_TRUE(CreateAnalysisResults(results, 3, error));
        ASSERT_EQ(RunBatch(results, {real, integral, camera}, mode, nullptr).status,
                  BatchStatus::Completed);
        // Only the frame of real values has a whole column; the float file of whole numbers
        // gives the very column of the 16-bit file of the same values.
        ASSERT_EQ(results.exactColumns.size(), 1u);
        ASSERT_EQ(results.exactColumns.count(0), 1u);
        for (int b = 0; b < kTableBins; ++b)
            ASSERT_EQ(results.profileTable[b][1], results.profileTable[b][2]) << b;

        // The whole column against the straightforward transform of the window read naively.
        FrameReader reader;
        double naive[kProfileBins];
        ASSERT_TRUE(AnalyseSingleFrame(ParseFrameRef(real), mode, plan, reader, naive, error))
            << error;
        const auto& column = results.exactColumns.at(0);
        double naiveScore = 0;
        for (int b = 25; b <= 50; ++b) naiveScore += naive[b];
        for (int b = 0; b < kTableBins; ++b) EXPECT_LT(Relative(column[b], naive[b]), 1e-9) << b;
        const std::vector<double> scores = BandScores(results, 3, Band{});
        EXPECT_LT(Relative(scores[0], naiveScore), 1e-9);
        EXPECT_NE(scores[0], std::trunc(scores[0]));
        EXPECT_EQ(scores[1], BandScores(results.profileTable, 3, Band{})[1]);
        const std::string csv = ScoresCsv({"r", "i", "c"}, scores, {0, 0, 1});
        const std::size_t row = csv.find("\nr,");
        ASSERT_NE(row, std::string::npos) << csv;
        EXPECT_EQ(std::strtod(csv.c_str() + row + 3, nullptr), scores[0]) << csv;
        EXPECT_NE(csv.find("i," + std::to_string((long long)scores[1]) + ",0\n"), std::string::npos)
            << csv;
    }
}

TEST(FitsGeneral, ValuesOfAnyMagnitudeScoreInProportionOrAreLeftOutWithAReason) {
    // One picture at several scales by powers of two: the scores scale exactly with it, from
    // values of 1e-208 to 1e301, while a frame whose amplitudes cannot be held is left out.
    TempDir dir;
    const int side = 300;
    auto spot = [](int x, int y) {
        const double dx = x - 150.3, dy = y - 140.7;
        return double(float(1000 * std::exp(-(dx * dx + dy * dy) / 50) + 0.01 * ((x * 7) % 13)));
    };
    // Frame 4 is bright all over: its amplitudes add up beyond the largest double.
    auto flat = [](int x, int y) { return 1.5e308 * (0.6 + 0.4 * ((x * 7 + y * 13) % 17) / 17); };
    const struct {
        int bitpix;
        int exponent;
    } frames[] = {{-32, 0}, {-32, 64}, {-64, 700}, {-64, -700}, {-64, 0}, {-64, 990}};
    std::vector<std::string> paths;
    for (const auto& f : frames) {
        const bool bright = paths.size() == 4;
        paths.push_back(dir.file("f" + std::to_string(paths.size()) + ".fits"));
        ASSERT_TRUE(WriteWithLibrary(paths.back(), {f.bitpix}, side, side, [&](int x, int y, int) {
            return bright ? flat(x, y) : std::ldexp(spot(x, y), f.exponent);
        }));
    }
    for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
        AnalysisResults results;
        std::string error;
        ASSERT_TRUE(CreateAnalysisResults(results, int(paths.size()), error));
        BatchControl control;
        control.leaveOut = [](const BatchResult&) { return true; };
        ASSERT_EQ(RunBatch(results, paths, mode, nullptr, 2, &control).status,
                  BatchStatus::Completed);
        ASSERT_EQ(results.leftOut.size(), 1u);
        EXPECT_EQ(results.leftOut[0].index, 4);
        EXPECT_NE(results.leftOut[0].reason.find("too large"), std::string::npos);
        const std::vector<double> scores = BandScores(results, int(paths.size()), Band{});
        ASSERT_GT(scores[0], 0);
        for (std::size_t k = 0; k < paths.size(); ++k) {
            if (k == 4) continue;
            EXPECT_EQ(scores[k], std::ldexp(scores[0], frames[k].exponent)) << k;
        }
        EXPECT_TRUE(std::isfinite(results.mean[30]) && results.mean[30] > 0);
        EXPECT_EQ(results.largest[30], results.exactColumns.at(5)[30]);
        EXPECT_EQ(results.smallest[30], results.exactColumns.at(3)[30]);
        // Every total far above 1e10: the smallest is still one of them.
        ASSERT_EQ(RunBatch(results, {paths[2], paths[1], paths[5]}, mode, nullptr).status,
                  BatchStatus::Completed);
        EXPECT_EQ(results.smallest[30], results.exactColumns.at(1)[30]);

        // A list click reads the frames alike.
        const FftPlan plan(kWindowSize);
        FrameReader reader;
        double small[kProfileBins], large[kProfileBins];
        ASSERT_TRUE(AnalyseSingleFrame(ParseFrameRef(paths[0]), mode, plan, reader, small, error))
            << error;
        ASSERT_TRUE(AnalyseSingleFrame(ParseFrameRef(paths[2]), mode, plan, reader, large, error))
            << error;
        EXPECT_EQ(large[30], std::ldexp(small[30], 700));
        EXPECT_FALSE(AnalyseSingleFrame(ParseFrameRef(paths[4]), mode, plan, reader, large, error));
        EXPECT_NE(error.find("too large"), std::string::npos) << error;
    }
}

TEST(FitsGeneral, WholeNumberBinsBeyondTheIntRangeScoreWhole) {
    // 32-bit values near their top: the lowest bin passes what the int table holds.
    TempDir dir;
    const std::string path = dir.file("bright.fits");
    ASSERT_TRUE(WriteWithLibrary(path, {32}, 300, 300,
                                 [](int x, int y, int) { return 2000000000.0 - (x * y) % 1000; }));
    AnalysisResults results;
    std::string error;
    ASSERT_TRUE(CreateAnalysisResults(results, 1, error));
    ASSERT_EQ(RunBatch(results, {path}, WindowMode::Centre, nullptr).status,
              BatchStatus::Completed);
    const double score = BandScores(results, 1, Band{0, 0})[0];
    EXPECT_GT(score, 2.8e9);  // 2e9 x sqrt(2)
    EXPECT_EQ(score, std::trunc(score));
}
