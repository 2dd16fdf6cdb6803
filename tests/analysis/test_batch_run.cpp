#include "batch_run.h"
#include "fits_writer.h"
#include "child_process.h"
#include "frame_refs.h"
#include "ser_test_files.h"
#include "temp_dir.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace framesifter;

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
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(CreateAnalysisResults(state, error)) << error;
    }
    std::vector<std::string> Frames(int count, int firstSeed = 1) {
        std::vector<std::string> paths;
        for (int k = 0; k < count; ++k)
            paths.push_back(WriteBmp(dir, "f" + std::to_string(k) + ".bmp", 260, 256,
                                     std::uint32_t(firstSeed + k)));
        return paths;
    }
    int Column(int k, int b) const { return state.profileTable[b][k]; }
    TempDir dir;
    AnalysisResults state;
    RecordedProgress progress;
};

}  // namespace

TEST_F(BatchRun, EmptyListChangesNothing) {
    state.profileTable[3][0] = 17;
    state.mean[5] = 2.5;
    const BatchResult r = RunBatch(state, {}, WindowMode::Centre, &progress);
    EXPECT_EQ(r.status, BatchStatus::Empty);
    EXPECT_EQ(state.profileTable[3][0], 17);
    EXPECT_EQ(state.mean[5], 2.5);
    EXPECT_TRUE(progress.positions.empty());
}

TEST_F(BatchRun, ProgressPositionsBeforeEachFrameThenZero) {
    const struct {
        int count;
        std::vector<int> positions;
    } cases[] = {
        {4, {0, 25, 50, 75, 0}},
        {3, {0, 33, 66, 0}},
        {1, {0, 0}},
    };
    for (const auto& c : cases) {
        progress.positions.clear();
        EXPECT_EQ(RunBatch(state, FrameRefs(Frames(c.count)), WindowMode::Centre, &progress).status,
                  BatchStatus::Completed);
        EXPECT_EQ(progress.positions, c.positions) << c.count;
    }
}

TEST_F(BatchRun, WhiteFrameGivesBinZeroOnly) {
    const auto paths = std::vector<std::string>{WriteBmp(dir, "white.bmp", 300, 280, 0)};
    ASSERT_EQ(RunBatch(state, FrameRefs(paths), WindowMode::Centre, nullptr).status,
              BatchStatus::Completed);
    EXPECT_EQ(Column(0, 0), 360);
    for (int b = 1; b < kTableBins; ++b) EXPECT_EQ(Column(0, b), 0) << b;
}

TEST_F(BatchRun, SingleFrameIsMeanLargestAndSmallest) {
    ASSERT_EQ(RunBatch(state, FrameRefs(Frames(1)), WindowMode::Centre, nullptr).status,
              BatchStatus::Completed);
    for (int b = 0; b < kProfileBins; ++b) {
        EXPECT_EQ(state.mean[b], state.frameProfile[b] / 1);
        EXPECT_EQ(state.smallest[b], state.frameProfile[b]);
        EXPECT_EQ(state.largest[b], state.frameProfile[b]);
    }
}

TEST_F(BatchRun, SummaryCurvesFollowTheTotals) {
    const auto paths = Frames(5);
    ASSERT_EQ(RunBatch(state, FrameRefs(paths), WindowMode::Peak, nullptr).status,
              BatchStatus::Completed);
    // Analyse each frame alone to know its profile and total.
    std::vector<std::vector<double>> profiles;
    std::vector<double> totals;
    FrameReader reader;
    std::string error;
    const FftPlan plan(kWindowSize);
    double single[kProfileBins];
    std::vector<double> mean(kProfileBins, 0.0);
    for (const auto& p : paths) {
        ASSERT_TRUE(
            AnalyseSingleFrame(ParseFrameRef(p), WindowMode::Peak, plan, reader, single, error))
            << error;
        profiles.emplace_back(single, single + kProfileBins);
        double t = 0;
        for (int b = 0; b < kTableBins; ++b) t += single[b];
        totals.push_back(t);
        for (int b = 0; b < kProfileBins; ++b) mean[b] += single[b] / 5;
    }
    // The run's fast transform agrees with the one-frame analysis to rounding.
    const auto largest = std::max_element(totals.begin(), totals.end()) - totals.begin();
    const auto smallest = std::min_element(totals.begin(), totals.end()) - totals.begin();
    const double tolerance = 1e-9 * profiles[0][0];
    for (int b = 0; b < kProfileBins; ++b) {
        EXPECT_NEAR(state.largest[b], profiles[largest][b], tolerance);
        EXPECT_NEAR(state.smallest[b], profiles[smallest][b], tolerance);
        EXPECT_NEAR(state.mean[b], mean[b], tolerance);
    }
    for (int k = 0; k < 5; ++k) {
        for (int b = 0; b < kTableBins; ++b)
            EXPECT_NEAR(Column(k, b), profiles[k][b], 1.0) << k << " " << b;
        // The first bins are kept as computed, not truncated.
        for (int b = 0; b < kExactBins; ++b)
            EXPECT_NEAR(state.exactBins[std::size_t(k * kExactBins + b)], profiles[k][b],
                        1e-6 * profiles[k][b] + tolerance)
                << k << " " << b;
    }
}

TEST_F(BatchRun, ResultsDoNotDependOnTheNumberOfThreads) {
    auto paths = Frames(9);
    std::vector<std::vector<int>> tables;
    std::vector<std::vector<double>> curves;
    for (int threads : {1, 2, 3}) {
        AnalysisResults s;
        std::string error;
        ASSERT_TRUE(CreateAnalysisResults(s, error)) << error;
        ASSERT_EQ(RunBatch(s, FrameRefs(paths), WindowMode::Peak, nullptr, threads).status,
                  BatchStatus::Completed);
        std::vector<int> table;
        for (int k = 0; k < 9; ++k)
            for (int b = 0; b < kTableBins; ++b) table.push_back(s.profileTable[b][k]);
        std::vector<double> c(s.mean, s.mean + kProfileBins);
        c.insert(c.end(), s.largest, s.largest + kProfileBins);
        c.insert(c.end(), s.smallest, s.smallest + kProfileBins);
        tables.push_back(table);
        curves.push_back(c);
    }
    for (std::size_t t = 1; t < tables.size(); ++t) {
        EXPECT_EQ(tables[t], tables[0]);
        EXPECT_EQ(curves[t], curves[0]);
    }
}

TEST_F(BatchRun, ATableTooNarrowForTheListGrowsToIt) {
    const auto paths = Frames(3);
    AnalysisResults narrow;
    std::string error;
    ASSERT_TRUE(CreateAnalysisResults(narrow, 2, error)) << error;
    ASSERT_EQ(RunBatch(narrow, FrameRefs(paths), WindowMode::Centre, nullptr).status,
              BatchStatus::Completed);
    ASSERT_EQ(RunBatch(state, FrameRefs(paths), WindowMode::Centre, nullptr).status,
              BatchStatus::Completed);
    ASSERT_EQ(narrow.profileTable.second(), 3);
    for (int b = 0; b < kTableBins; ++b) EXPECT_EQ(narrow.profileTable[b][2], Column(2, b));
}

TEST_F(BatchRun, StopsAtASmallFrameKeepingEarlierColumns) {
    auto paths = Frames(4);
    paths[2] = WriteBmp(dir, "small.bmp", 200, 300, 9);
    state.profileTable[0][3] = 99;  // a column of an earlier, longer run
    // Two threads read ahead of the failing frame; nothing after it may be recorded.
    const BatchResult r = RunBatch(state, FrameRefs(paths), WindowMode::Centre, &progress, 2);
    EXPECT_EQ(r.status, BatchStatus::TooSmall);
    EXPECT_EQ(r.failedIndex, 2);
    EXPECT_EQ(FrameRefText(r.failedFrame), paths[2]);
    EXPECT_EQ(r.width, 200);
    EXPECT_EQ(r.height, 300);
    EXPECT_EQ(progress.positions, (std::vector<int>{0, 25, 50}));
    EXPECT_GT(Column(0, 0), 0);
    EXPECT_GT(Column(1, 0), 0);
    for (int b = 0; b < kTableBins; ++b) {
        EXPECT_EQ(Column(2, b), 0);
        EXPECT_EQ(Column(3, b), 0);
    }
    EXPECT_TRUE(state.files.empty());
}

TEST_F(BatchRun, StopsAtAnUnreadableFrameAndNamesIt) {
    auto paths = Frames(3);
    paths[1] = dir.write("broken.bmp", std::string("BM not really a bitmap"));
    const BatchResult r = RunBatch(state, FrameRefs(paths), WindowMode::Centre, &progress);
    EXPECT_EQ(r.status, BatchStatus::Unreadable);
    EXPECT_EQ(r.failedIndex, 1);
    EXPECT_EQ(FrameRefText(r.failedFrame), paths[1]);
    EXPECT_FALSE(r.reason.empty());
    EXPECT_GT(Column(0, 0), 0);
    EXPECT_EQ(Column(2, 0), 0);
}

TEST_F(BatchRun, StopAtFirstFrameLeavesStartValues) {
    const std::vector<std::string> paths = {WriteBmp(dir, "tiny.bmp", 100, 100, 3)};
    EXPECT_EQ(RunBatch(state, FrameRefs(paths), WindowMode::Centre, nullptr).status,
              BatchStatus::TooSmall);
    for (int b = 0; b < kProfileBins; ++b) {
        EXPECT_EQ(state.mean[b], 0);
        EXPECT_EQ(state.largest[b], 0);
        EXPECT_EQ(state.smallest[b], 1.0e8);
    }
}

TEST_F(BatchRun, RunningTwiceGivesTheSameResultsAndRecordsTheFiles) {
    const auto paths = Frames(3);
    ASSERT_EQ(RunBatch(state, FrameRefs(paths), WindowMode::Centre, nullptr).status,
              BatchStatus::Completed);
    EXPECT_EQ(FrameTexts(state.files), paths);
    std::vector<int> first;
    for (int k = 0; k < 3; ++k)
        for (int b = 0; b < kTableBins; ++b) first.push_back(Column(k, b));
    std::vector<double> avg(state.mean, state.mean + kProfileBins);
    ASSERT_EQ(RunBatch(state, FrameRefs(paths), WindowMode::Centre, nullptr).status,
              BatchStatus::Completed);
    std::vector<int> second;
    for (int k = 0; k < 3; ++k)
        for (int b = 0; b < kTableBins; ++b) second.push_back(Column(k, b));
    EXPECT_EQ(first, second);
    EXPECT_TRUE(std::equal(avg.begin(), avg.end(), state.mean));
}

TEST_F(BatchRun, FitsFramesAreAnalysed) {
    std::vector<std::uint16_t> values(640 * 480, 1000);
    std::string error;
    const std::string path = dir.file("frame.fits");
    ASSERT_TRUE(WriteFits16(path, values.data(), 640, 480, error)) << error;
    ASSERT_EQ(RunBatch(state, FrameRefs({path}), WindowMode::Peak, nullptr).status,
              BatchStatus::Completed);
    EXPECT_EQ(Column(0, 0), int(1000 * std::sqrt(2.0)));
}

TEST_F(BatchRun, SingleFrameAnalysisRefusesSmallFrames) {
    FrameReader reader;
    std::string error;
    const std::string good = WriteBmp(dir, "white.bmp", 256, 256, 0);
    const std::string small = WriteBmp(dir, "small.bmp", 255, 400, 0);
    const FftPlan plan(kWindowSize);
    double profile[kProfileBins] = {};
    ASSERT_TRUE(
        AnalyseSingleFrame(ParseFrameRef(good), WindowMode::Centre, plan, reader, profile, error))
        << error;
    EXPECT_NEAR(profile[0], 255 * std::sqrt(2.0), 1e-9);
    profile[0] = 123;
    EXPECT_FALSE(
        AnalyseSingleFrame(ParseFrameRef(small), WindowMode::Centre, plan, reader, profile, error));
    EXPECT_NE(error.find("255 x 400"), std::string::npos) << error;
    EXPECT_EQ(profile[0], 123);  // the previous frame's curve is not replaced
}

namespace {

// A 16-bit FITS frame with a BZERO of `bzero` written as the header says, every raw value v.
std::string WriteFitsWithBzero(const TempDir& dir, const std::string& name, const char* bzero,
                               std::uint16_t v) {
    auto card = [](std::string text) {
        text.resize(80, ' ');
        return text;
    };
    std::string bytes =
        card("SIMPLE  =                    T") + card("BITPIX  =                   16") +
        card("NAXIS   =                    2") + card("NAXIS1  =                  256") +
        card("NAXIS2  =                  256") + card(std::string("BZERO   = ") + bzero) +
        card("END");
    bytes.resize(2880, ' ');
    for (int i = 0; i < 256 * 256; ++i) {
        bytes.push_back(char(v >> 8));
        bytes.push_back(char(v & 0xff));
    }
    bytes.resize((bytes.size() + 2879) / 2880 * 2880, '\0');
    return dir.write(name, bytes);
}

}  // namespace

TEST_F(BatchRun, BinsBeyondTheIntRangeSaturate) {
    // 1.6e9 per pixel puts bin 0 at about 2.3e9, beyond int.
    const std::string path = WriteFitsWithBzero(dir, "bright.fit", "1.6E9", 1000);
    ASSERT_EQ(RunBatch(state, FrameRefs({path}), WindowMode::Centre, nullptr).status,
              BatchStatus::Completed);
    EXPECT_EQ(Column(0, 0), INT_MAX);
    const struct {
        double in;
        int out;
    } cases[] = {{2.5e9, INT_MAX}, {-3e9, INT_MIN}, {1e300, INT_MAX},
                 {-1.9, -1},       {12.9, 12},      {NAN, 0}};
    for (const auto& c : cases) EXPECT_EQ(SaturateToInt(c.in), c.out) << c.in;
}

TEST_F(BatchRun, ThreadsThatCannotStartLeaveTheWorkToTheCallingThread) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the child as another user";
    const auto paths = Frames(5);
    ASSERT_EQ(RunBatch(state, FrameRefs(paths), WindowMode::Peak, nullptr, 1).status,
              BatchStatus::Completed);
    std::string expected;
    for (int k = 0; k < 5; ++k) expected += std::to_string(Column(k, 30)) + ",";
    chmod(dir.path().c_str(), 0755);

    int status = 0;
    const std::string reply = RunInChild(
        [&]() -> std::string {
            // A user limited to one process cannot start a thread.
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
            rlimit one{1, 1};
            if (setrlimit(RLIMIT_NPROC, &one) != 0) _exit(4);
            AnalysisResults s;
            std::string error;
            if (!CreateAnalysisResults(s, error)) _exit(5);
            const BatchResult r = RunBatch(s, FrameRefs(paths), WindowMode::Peak, nullptr, 4);
            if (r.status != BatchStatus::Completed) return "failed: " + r.reason;
            std::string columns;
            for (int k = 0; k < 5; ++k) columns += std::to_string(s.profileTable[30][k]) + ",";
            return columns;
        },
        status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(reply, expected);
}

namespace {

// Stops the run once `after` frames are done, and counts the frames the workers start.
std::atomic<int> g_framesStarted{0};

struct StopAfter : ProgressSink {
    StopAfter(BatchControl& c, int after) : control(c), after(after) {}
    void setPosition(int percent) override { last = percent; }
    void setCount(int done, int) override {
        if (done == after) control.requestStop();
    }
    BatchControl& control;
    int after;
    int last = -1;
};

}  // namespace

TEST_F(BatchRun, AStopEndsTheRunPromptlyAndRecordsNoFiles) {
    const auto paths = Frames(20);
    const struct {
        int after;
        int threads;
    } cases[] = {{0, 1}, {2, 1}, {5, 3}, {19, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after);
        BatchControl control;
        control.beforeRead = [](int) { ++g_framesStarted; };
        if (c.after == 0) control.requestStop();
        StopAfter sink(control, c.after);
        state.files = {{"earlier", 0}};
        g_framesStarted = 0;
        const BatchResult r =
            RunBatch(state, FrameRefs(paths), WindowMode::Centre, &sink, c.threads, &control);
        EXPECT_EQ(r.status, BatchStatus::Stopped);
        EXPECT_TRUE(state.files.empty());
        EXPECT_EQ(sink.last, 0);
        // No more than the frames the workers had in hand when the stop came.
        EXPECT_LE(g_framesStarted.load(), std::min(20, c.after + 2 * c.threads + 2));
    }
    BatchControl untouched;
    EXPECT_EQ(RunBatch(state, FrameRefs(paths), WindowMode::Centre, nullptr, 2, &untouched).status,
              BatchStatus::Completed);
}

TEST_F(BatchRun, BadFramesAreLeftOutOnlyWhenTheDecisionSaysSo) {
    auto paths = Frames(5);
    paths[1] = WriteBmp(dir, "small.bmp", 200, 300, 9);
    paths[3] = dir.write("broken.bmp", std::string("BM not really a bitmap"));
    const struct {
        const char* name;
        bool decide;  // a decision is given at all
        bool answer;
        BatchStatus status;
        std::size_t leftOut;
    } cases[] = {
        {"no decision", false, false, BatchStatus::TooSmall, 0},
        {"answered no", true, false, BatchStatus::TooSmall, 0},
        {"answered yes", true, true, BatchStatus::Completed, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BatchControl control;
        std::vector<int> asked;
        if (c.decide)
            control.leaveOut = [&](const BatchResult& bad) {
                asked.push_back(bad.failedIndex);
                EXPECT_EQ(bad.status, BatchStatus::TooSmall);
                EXPECT_EQ(FrameRefText(bad.failedFrame), paths[1]);
                return c.answer;
            };
        const BatchResult r =
            RunBatch(state, FrameRefs(paths), WindowMode::Centre, &progress, 2, &control);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(asked, c.decide ? std::vector<int>{1} : std::vector<int>{});
        ASSERT_EQ(state.leftOut.size(), c.leftOut);
        if (c.status != BatchStatus::Completed) {
            EXPECT_EQ(r.failedIndex, 1);
            EXPECT_TRUE(state.files.empty());
            continue;
        }
        EXPECT_EQ(FrameTexts(state.files), paths);
        EXPECT_EQ(state.leftOut[0].index, 1);
        EXPECT_EQ(state.leftOut[0].width, 200);
        EXPECT_EQ(state.leftOut[0].height, 300);
        EXPECT_TRUE(state.leftOut[0].reason.empty());
        EXPECT_EQ(state.leftOut[1].index, 3);
        EXPECT_EQ(FrameRefText(state.leftOut[1].frame), paths[3]);
        EXPECT_FALSE(state.leftOut[1].reason.empty());
        for (int k : {1, 3})
            for (int b = 0; b < kTableBins; ++b) EXPECT_EQ(Column(k, b), 0) << k;
        for (int k : {0, 2, 4}) EXPECT_GT(Column(k, 0), 0) << k;
    }
}

TEST_F(BatchRun, LeftOutFramesCountInNoCurve) {
    const auto good = Frames(3);
    AnalysisResults alone;
    std::string error;
    ASSERT_TRUE(CreateAnalysisResults(alone, error)) << error;
    ASSERT_EQ(RunBatch(alone, FrameRefs(good), WindowMode::Centre, nullptr).status,
              BatchStatus::Completed);

    const std::string bad = WriteBmp(dir, "tiny.bmp", 100, 100, 3);
    const std::vector<std::string> mixed = {bad, good[0], good[1], bad, good[2], bad};
    BatchControl control;
    control.leaveOut = [](const BatchResult&) { return true; };
    const std::vector<std::string> before = {good[0], good[1], good[2], good[0], good[1], good[2]};
    ASSERT_EQ(RunBatch(state, FrameRefs(before), WindowMode::Centre, nullptr).status,
              BatchStatus::Completed);
    ASSERT_EQ(RunBatch(state, FrameRefs(mixed), WindowMode::Centre, nullptr, 2, &control).status,
              BatchStatus::Completed);
    ASSERT_EQ(state.leftOut.size(), 3u);
    for (int b = 0; b < kProfileBins; ++b) {
        EXPECT_NEAR(state.mean[b], alone.mean[b], 1e-9 * (1 + std::abs(alone.mean[b]))) << b;
        EXPECT_EQ(state.largest[b], alone.largest[b]) << b;
        EXPECT_EQ(state.smallest[b], alone.smallest[b]) << b;
    }
    EXPECT_EQ(state.largestTotal, alone.largestTotal);
    EXPECT_EQ(state.smallestTotal, alone.smallestTotal);
    // A left-out frame keeps no bins from an earlier run in its place.
    for (int k : {0, 3, 5})
        for (int b = 0; b < kExactBins; ++b)
            EXPECT_EQ(state.exactBins[std::size_t(k * kExactBins + b)], 0.0f) << k << " " << b;

    // Every frame left out: the run completes with flat curves and nothing to score.
    ASSERT_EQ(
        RunBatch(state, FrameRefs({bad, bad}), WindowMode::Centre, nullptr, 1, &control).status,
        BatchStatus::Completed);
    EXPECT_EQ(state.leftOut.size(), 2u);
    EXPECT_EQ(state.files.size(), 2u);
    for (int b = 0; b < kProfileBins; ++b) {
        EXPECT_EQ(state.mean[b], 0);
        EXPECT_EQ(state.largest[b], 0);
        EXPECT_EQ(state.smallest[b], 0);
    }
}

// The run's value range spans the analysed frames' windows (green levels from `level` to
// level + 9 in each), and leaves out the frames left out; with none analysed it is 0..0.
TEST_F(BatchRun, TheValueRangeSpansTheAnalysedWindows) {
    const auto levelFrame = [&](int level) {
        QImage image(260, 256, QImage::Format_RGB888);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb(255, level + (x + y) % 10, 0));
        const std::string path = dir.file("level" + std::to_string(level) + ".bmp");
        EXPECT_TRUE(image.save(QString::fromStdString(path), "BMP"));
        return path;
    };
    const std::string bad = WriteBmp(dir, "tiny.bmp", 100, 100, 3);
    const struct {
        std::vector<int> levels;  // -1: a frame left out
        double low, high;
    } cases[] = {
        {{40, 200, 90}, 40, 209},
        {{77}, 77, 86},
        {{-1, 120, -1, 5}, 5, 129},
        {{-1, -1}, 0, 0},
    };
    BatchControl control;
    control.leaveOut = [](const BatchResult&) { return true; };
    // A run that does not ask for the range (the command line's) has none.
    for (bool wanted : {true, false})
        for (int threads : {1, 2})
            for (const auto& c : cases) {
                control.valueRange = wanted;
                std::vector<std::string> paths;
                for (int level : c.levels) paths.push_back(level < 0 ? bad : levelFrame(level));
                ASSERT_EQ(RunBatch(state, FrameRefs(paths), WindowMode::Centre, nullptr, threads,
                                   &control)
                              .status,
                          BatchStatus::Completed);
                const std::string trace = std::to_string(c.levels.size()) + " frames, " +
                                          std::to_string(threads) + (wanted ? "" : ", not asked");
                EXPECT_EQ(state.valueLow, wanted ? c.low : 0) << trace;
                EXPECT_EQ(state.valueHigh, wanted ? c.high : 0) << trace;
            }
}

TEST_F(BatchRun, AStopWhileTheDecisionIsPendingStopsTheRun) {
    auto paths = Frames(3);
    paths[1] = WriteBmp(dir, "tiny.bmp", 100, 100, 3);
    BatchControl control;
    control.leaveOut = [&](const BatchResult&) {
        control.requestStop();
        return true;
    };
    const BatchResult r =
        RunBatch(state, FrameRefs(paths), WindowMode::Centre, &progress, 1, &control);
    EXPECT_EQ(r.status, BatchStatus::Stopped);
    EXPECT_TRUE(state.files.empty());
    EXPECT_TRUE(state.leftOut.empty());
    EXPECT_EQ(progress.positions.back(), 0);
}

TEST(MemoryBudget, RefusesWhatCanNeverFitAndMakesOthersWait) {
    MemoryBudget budget(100 << 20);
    BudgetHold first(&budget), second(&budget);
    std::string error;
    EXPECT_FALSE(first.holdTotal(std::size_t(150) << 20, error));
    EXPECT_NE(error.find("150 MB"), std::string::npos) << error;
    EXPECT_NE(error.find("100 MB"), std::string::npos) << error;
    ASSERT_TRUE(first.holdTotal(std::size_t(60) << 20, error));
    std::atomic<bool> granted{false};
    std::thread other([&] {
        std::string e;
        second.holdTotal(std::size_t(60) << 20, e);
        granted = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(granted);  // 120 MB would exceed the budget
    first.reset();
    other.join();
    EXPECT_TRUE(granted);
    EXPECT_EQ(second.held(), std::size_t(60) << 20);
}

TEST(MemoryBudget, ABaseStaysUnderEveryLaterHoldUntilReset) {
    const std::size_t mib = std::size_t(1) << 20;
    const struct {
        std::size_t base, then;
        bool fits;
    } cases[] = {{30 * mib, 20 * mib, true}, {30 * mib, 0, true}, {90 * mib, 20 * mib, false}};
    for (const auto& c : cases) {
        MemoryBudget budget(100 * mib);
        BudgetHold hold(&budget);
        std::string error;
        ASSERT_TRUE(hold.holdBase(c.base, error)) << error;
        EXPECT_EQ(hold.holdTotal(c.then, error), c.fits) << c.base;
        EXPECT_EQ(hold.held(), c.fits ? c.base + c.then : c.base);
        hold.reset();
        EXPECT_TRUE(hold.holdTotal(mib, error));
        EXPECT_EQ(hold.held(), mib) << "the base ends with the frame";
    }
}

namespace {

// Asks for the stop just after the run's own check before frame `at`, the moment a worker
// about to take that frame can see the stop first. Pauses now and then so that the workers
// get ahead and wait for room, as they do behind a slow caller.
struct StopBeforeFrame : ProgressSink {
    StopBeforeFrame(BatchControl& c, int at) : control(c), at(at) {}
    void setPosition(int) override {
        if (calls++ == at) control.requestStop();
    }
    void setCount(int done, int) override {
        if (done % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    BatchControl& control;
    int at;
    int calls = 0;
};

}  // namespace

namespace {

// A SER video of `count` 8-bit frames of 256 x 256, each frame its own pattern.
std::string WriteVideo(const TempDir& dir, const std::string& name, int count, int seed) {
    ser_test_files::SerLayout layout;
    layout.width = layout.height = 256;
    layout.count = count;
    const auto bytes = ser_test_files::SerBytes(layout, [seed](int f, int x, int y, int) {
        return std::uint16_t((x * (f + seed) + y * y * (seed + 1) + f * 31) % 251);
    });
    return dir.write(name, bytes);
}

std::vector<FrameRef> VideoFrames(const std::string& path, int count) {
    std::vector<FrameRef> frames;
    for (int f = 1; f <= count; ++f) frames.push_back({path, f});
    return frames;
}

}  // namespace

TEST_F(BatchRun, StopsAtAnyMomentEndWithoutHanging) {
    // Few frames are handed out one at a time, a long video's in batches.
    const std::vector<FrameRef> lists[] = {FrameRefs(Frames(60)),
                                           VideoFrames(WriteVideo(dir, "v.ser", 300, 3), 300)};
    int status = 0;
    const std::string reply = RunInChild(
        [&] {
            alarm(240);  // a hung run ends the child, and the test fails on its status
            std::mt19937 rng(7);
            std::string failures;
            for (const std::vector<FrameRef>& frames : lists) {
                for (int run = 0; run < 40; ++run) {
                    const int threads = 1 + run % 4;
                    const int at = 1 + int(rng() % (frames.size() - 2));
                    BatchControl control;
                    StopBeforeFrame sink(control, at);
                    const BatchResult r =
                        RunBatch(state, frames, WindowMode::Centre, &sink, threads, &control);
                    if (r.status != BatchStatus::Stopped)
                        failures += "run " + std::to_string(run) + " not stopped\n";
                }
            }
            return failures;
        },
        status);
    EXPECT_EQ(status, 0) << "a stopped run hung";
    EXPECT_EQ(reply, "");
}

// A run opens a video once: one replaced while it is read (a capture program writing a new
// one under the old name) gives the run the frames of the video it began with.
TEST_F(BatchRun, AVideoIsOpenedOnceForTheWholeRun) {
    constexpr int kFrames = 128;
    const std::string path = WriteVideo(dir, "night.ser", kFrames, 1);
    const std::string other = WriteVideo(dir, "other.ser", kFrames, 2);
    const std::string copy = dir.file("copy.ser");
    ASSERT_EQ(std::system(("cp " + path + " " + copy).c_str()), 0);
    AnalysisResults expected;
    std::string error;
    ASSERT_TRUE(CreateAnalysisResults(expected, kFrames, error)) << error;
    ASSERT_EQ(RunBatch(expected, VideoFrames(copy, kFrames), WindowMode::Centre, nullptr, 2).status,
              BatchStatus::Completed);
    for (int threads : {1, 3}) {
        SCOPED_TRACE(threads);
        ASSERT_EQ(std::system(("cp " + copy + " " + path).c_str()), 0);
        BatchControl control;
        std::atomic<bool> replaced{false};
        control.beforeRead = [&](int index) {
            if (index >= kFrames / 2 && !replaced.exchange(true))
                EXPECT_EQ(std::rename(other.c_str(), path.c_str()), 0);
        };
        ASSERT_EQ(RunBatch(state, VideoFrames(path, kFrames), WindowMode::Centre, nullptr, threads,
                           &control)
                      .status,
                  BatchStatus::Completed);
        ASSERT_TRUE(replaced);
        ASSERT_EQ(std::system(("cp " + path + " " + other).c_str()), 0);  // for the next round
        int differing = 0;
        for (int k = 0; k < kFrames; ++k)
            for (int b = 0; b < kTableBins; ++b)
                differing += state.profileTable[b][k] != expected.profileTable[b][k];
        EXPECT_EQ(differing, 0);
    }
}

// A run that ends at a bad frame ends there: its threads start no frame of the rest of a
// long list.
TEST_F(BatchRun, ARunEndedByABadFrameReadsNoMoreOfTheList) {
    constexpr int kFrames = 700;
    const std::string path = WriteVideo(dir, "short.ser", 40, 1);
    std::vector<FrameRef> frames = VideoFrames(path, 40);
    for (int k = 40; k < kFrames; ++k) frames.push_back({path, 1 + k % 40});
    frames[20] = {path, 41};  // beyond the video
    for (int threads : {1, 2, 4}) {
        SCOPED_TRACE(threads);
        std::atomic<int> started{0};
        BatchControl control;
        control.beforeRead = [&](int) { ++started; };
        const BatchResult r =
            RunBatch(state, frames, WindowMode::Centre, nullptr, threads, &control);
        EXPECT_EQ(r.status, BatchStatus::Unreadable);
        EXPECT_EQ(r.failedIndex, 20);
        EXPECT_LT(started.load(), 200);
    }
}
