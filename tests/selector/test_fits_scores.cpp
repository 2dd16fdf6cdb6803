#include "batch_run.h"
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
        ASSERT_TRUE(AnalyseSingleFrame(real, mode, plan, reader, naive, error)) << error;
        const auto& column = results.exactColumns.at(0);
        double naiveScore = 0;
        for (int b = 25; b <= 50; ++b) naiveScore += naive[b];
        for (int b = 0; b < kTableBins; ++b) EXPECT_LT(Relative(column[b], naive[b]), 1e-9) << b;
        const std::vector<double> scores = BandScores(results, 3, Band{});
        EXPECT_LT(Relative(scores[0], naiveScore), 1e-9);
        EXPECT_NE(scores[0], std::trunc(scores[0]));
        EXPECT_EQ(scores[1], BandScores(results.profileTable, 3, Band{})[1]);
        const std::string csv = ScoresCsv({"r", "i", "c"}, scores, {0, 0, 1});
        char expected[64];
        std::snprintf(expected, sizeof expected, "r,%.6f,0\n", scores[0]);
        EXPECT_NE(csv.find(expected), std::string::npos) << csv;
        EXPECT_NE(csv.find("i," + std::to_string((long long)scores[1]) + ",0\n"), std::string::npos)
            << csv;
    }
}
