#include "batch_run.h"
#include "fits_writer.h"
#include "temp_dir.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

struct RecordedProgress : ProgressSink {
    void setPosition(int percent) override { positions.push_back(percent); }
    std::vector<int> positions;
};

std::string WriteBmp(const TempDir& dir, const std::string& name, int w, int h,
                     std::uint32_t seed) {
    QImage image(w, h, QImage::Format_RGB888);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, seed == 0 ? qRgb(255, 255, 255) : qRgb(0, int(rng() % 256), 0));
    const std::string path = dir.file(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path), "BMP"));
    return path;
}

class BatchRun : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreateSelectorState(state), 0); }
    std::vector<std::string> Frames(int count, int firstSeed = 1) {
        std::vector<std::string> paths;
        for (int k = 0; k < count; ++k)
            paths.push_back(WriteBmp(dir, "f" + std::to_string(k) + ".bmp", 260, 256,
                                     std::uint32_t(firstSeed + k)));
        return paths;
    }
    int Column(int k, int b) const { return state.ProfileTable[b][k]; }
    TempDir dir;
    SelectorState state;
    RecordedProgress progress;
};

}  // namespace

TEST_F(BatchRun, EmptyListChangesNothing) {
    state.ProfileTable[3][0] = 17;
    state.ProfileAvg[5] = 2.5;
    const BatchResult r = RunBatch(state, {}, WindowMode::Centre, &progress);
    EXPECT_EQ(r.status, BatchStatus::Empty);
    EXPECT_EQ(state.ProfileTable[3][0], 17);
    EXPECT_EQ(state.ProfileAvg[5], 2.5);
    EXPECT_TRUE(progress.positions.empty());
}

TEST_F(BatchRun, ProgressPositionsBeforeEachFrameThenZero) {
    const struct { int count; std::vector<int> positions; } cases[] = {
        {4, {0, 25, 50, 75, 0}},
        {3, {0, 33, 66, 0}},
        {1, {0, 0}},
    };
    for (const auto& c : cases) {
        progress.positions.clear();
        EXPECT_EQ(RunBatch(state, Frames(c.count), WindowMode::Centre, &progress).status,
                  BatchStatus::Completed);
        EXPECT_EQ(progress.positions, c.positions) << c.count;
    }
}

TEST_F(BatchRun, WhiteFrameGivesBinZeroOnly) {
    const auto paths = std::vector<std::string>{WriteBmp(dir, "white.bmp", 300, 280, 0)};
    ASSERT_EQ(RunBatch(state, paths, WindowMode::Centre, nullptr).status, BatchStatus::Completed);
    EXPECT_EQ(Column(0, 0), 360);
    for (int b = 1; b < kTableBins; ++b) EXPECT_EQ(Column(0, b), 0) << b;
}

TEST_F(BatchRun, SingleFrameIsMeanLargestAndSmallest) {
    ASSERT_EQ(RunBatch(state, Frames(1), WindowMode::Centre, nullptr).status,
              BatchStatus::Completed);
    for (int b = 0; b < kProfileBins; ++b) {
        EXPECT_EQ(state.ProfileAvg[b], state.Profile[b] / 1);
        EXPECT_EQ(state.ProfileMin[b], state.Profile[b]);
        EXPECT_EQ(state.ProfileMax[b], state.Profile[b]);
    }
}

TEST_F(BatchRun, SummaryCurvesFollowTheTotals) {
    const auto paths = Frames(5);
    ASSERT_EQ(RunBatch(state, paths, WindowMode::Peak, nullptr).status, BatchStatus::Completed);
    // Analyse each frame alone to know its profile and total.
    std::vector<std::vector<double>> profiles;
    std::vector<double> totals;
    FrameReader reader;
    std::string error;
    SelectorState single;
    ASSERT_EQ(CreateSelectorState(single), 0);
    std::vector<double> mean(kProfileBins, 0.0);
    for (const auto& p : paths) {
        ASSERT_EQ(AnalyseSingleFrame(single, p, WindowMode::Peak, reader, error), 0) << error;
        profiles.emplace_back(single.Profile, single.Profile + kProfileBins);
        double t = 0;
        for (int b = 0; b < kTableBins; ++b) t += single.Profile[b];
        totals.push_back(t);
        for (int b = 0; b < kProfileBins; ++b) mean[b] += single.Profile[b] / 5;
    }
    // The run's fast transform agrees with the one-frame analysis to rounding.
    const auto largest = std::max_element(totals.begin(), totals.end()) - totals.begin();
    const auto smallest = std::min_element(totals.begin(), totals.end()) - totals.begin();
    const double tolerance = 1e-9 * profiles[0][0];
    for (int b = 0; b < kProfileBins; ++b) {
        EXPECT_NEAR(state.ProfileMax[b], profiles[largest][b], tolerance);
        EXPECT_NEAR(state.ProfileMin[b], profiles[smallest][b], tolerance);
        EXPECT_NEAR(state.ProfileAvg[b], mean[b], tolerance);
    }
    for (int k = 0; k < 5; ++k)
        for (int b = 0; b < kTableBins; ++b)
            EXPECT_NEAR(Column(k, b), profiles[k][b], 1.0) << k << " " << b;
}

TEST_F(BatchRun, ResultsDoNotDependOnTheNumberOfThreads) {
    auto paths = Frames(9);
    std::vector<std::vector<int>> tables;
    std::vector<std::vector<double>> curves;
    for (int threads : {1, 2, 3}) {
        SelectorState s;
        ASSERT_EQ(CreateSelectorState(s), 0);
        ASSERT_EQ(RunBatch(s, paths, WindowMode::Peak, nullptr, threads).status,
                  BatchStatus::Completed);
        std::vector<int> table;
        for (int k = 0; k < 9; ++k)
            for (int b = 0; b < kTableBins; ++b) table.push_back(s.ProfileTable[b][k]);
        std::vector<double> c(s.ProfileAvg, s.ProfileAvg + kProfileBins);
        c.insert(c.end(), s.ProfileMax, s.ProfileMax + kProfileBins);
        c.insert(c.end(), s.ProfileMin, s.ProfileMin + kProfileBins);
        tables.push_back(table);
        curves.push_back(c);
    }
    for (std::size_t t = 1; t < tables.size(); ++t) {
        EXPECT_EQ(tables[t], tables[0]);
        EXPECT_EQ(curves[t], curves[0]);
    }
}

TEST_F(BatchRun, StopsAtASmallFrameKeepingEarlierColumns) {
    auto paths = Frames(4);
    paths[2] = WriteBmp(dir, "small.bmp", 200, 300, 9);
    state.ProfileTable[0][3] = 99;   // a column of an earlier, longer run
    // Two threads read ahead of the failing frame; nothing after it may be recorded.
    const BatchResult r = RunBatch(state, paths, WindowMode::Centre, &progress, 2);
    EXPECT_EQ(r.status, BatchStatus::TooSmall);
    EXPECT_EQ(r.failedIndex, 2);
    EXPECT_EQ(r.failedPath, paths[2]);
    EXPECT_EQ(r.width, 200);
    EXPECT_EQ(r.height, 300);
    EXPECT_EQ(progress.positions, (std::vector<int>{0, 25, 50}));
    EXPECT_GT(Column(0, 0), 0);
    EXPECT_GT(Column(1, 0), 0);
    for (int b = 0; b < kTableBins; ++b) {
        EXPECT_EQ(Column(2, b), 0);
        EXPECT_EQ(Column(3, b), 0);
    }
    EXPECT_TRUE(state.AnalysedFiles.empty());
}

TEST_F(BatchRun, StopsAtAnUnreadableFrameAndNamesIt) {
    auto paths = Frames(3);
    paths[1] = dir.write("broken.bmp", std::string("BM not really a bitmap"));
    const BatchResult r = RunBatch(state, paths, WindowMode::Centre, &progress);
    EXPECT_EQ(r.status, BatchStatus::Unreadable);
    EXPECT_EQ(r.failedIndex, 1);
    EXPECT_EQ(r.failedPath, paths[1]);
    EXPECT_FALSE(r.reason.empty());
    EXPECT_GT(Column(0, 0), 0);
    EXPECT_EQ(Column(2, 0), 0);
}

TEST_F(BatchRun, StopAtFirstFrameLeavesStartValues) {
    const std::vector<std::string> paths = {WriteBmp(dir, "tiny.bmp", 100, 100, 3)};
    EXPECT_EQ(RunBatch(state, paths, WindowMode::Centre, nullptr).status, BatchStatus::TooSmall);
    for (int b = 0; b < kProfileBins; ++b) {
        EXPECT_EQ(state.ProfileAvg[b], 0);
        EXPECT_EQ(state.ProfileMax[b], 0);
        EXPECT_EQ(state.ProfileMin[b], 1.0e8);
    }
}

TEST_F(BatchRun, RunningTwiceGivesTheSameResultsAndRecordsTheFiles) {
    const auto paths = Frames(3);
    ASSERT_EQ(RunBatch(state, paths, WindowMode::Centre, nullptr).status, BatchStatus::Completed);
    EXPECT_EQ(state.AnalysedFiles, paths);
    std::vector<int> first;
    for (int k = 0; k < 3; ++k)
        for (int b = 0; b < kTableBins; ++b) first.push_back(Column(k, b));
    std::vector<double> avg(state.ProfileAvg, state.ProfileAvg + kProfileBins);
    ASSERT_EQ(RunBatch(state, paths, WindowMode::Centre, nullptr).status, BatchStatus::Completed);
    std::vector<int> second;
    for (int k = 0; k < 3; ++k)
        for (int b = 0; b < kTableBins; ++b) second.push_back(Column(k, b));
    EXPECT_EQ(first, second);
    EXPECT_TRUE(std::equal(avg.begin(), avg.end(), state.ProfileAvg));
}

TEST_F(BatchRun, FitsFramesAreAnalysed) {
    std::vector<std::uint16_t> values(640 * 480, 1000);
    std::string error;
    const std::string path = dir.file("frame.fits");
    ASSERT_EQ(WriteFits16(path, values.data(), 640, 480, error), 0) << error;
    ASSERT_EQ(RunBatch(state, {path}, WindowMode::Peak, nullptr).status, BatchStatus::Completed);
    EXPECT_EQ(Column(0, 0), int(1000 * std::sqrt(2.0)));
}

TEST_F(BatchRun, SingleFrameAnalysisBuildsTablesAndRefusesSmallFrames) {
    FrameReader reader;
    std::string error;
    const std::string good = WriteBmp(dir, "white.bmp", 256, 256, 0);
    const std::string small = WriteBmp(dir, "small.bmp", 255, 400, 0);
    ASSERT_FALSE(state.TablesBuilt);
    ASSERT_EQ(AnalyseSingleFrame(state, good, WindowMode::Centre, reader, error), 0) << error;
    EXPECT_NEAR(state.Profile[0], 255 * std::sqrt(2.0), 1e-9);
    state.Profile[0] = 123;
    EXPECT_EQ(AnalyseSingleFrame(state, small, WindowMode::Centre, reader, error), 1);
    EXPECT_NE(error.find("255 x 400"), std::string::npos) << error;
    EXPECT_EQ(state.Profile[0], 123);   // the previous frame's curve is not replaced
}
