#include "batch_run.h"
#include "fits_writer.h"
#include "frame_flags.h"
#include "frame_refs.h"
#include "frame_signature.h"
#include "temp_dir.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cmath>

#include <functional>
#include <random>

using namespace framesifter;

namespace {

constexpr int N = 64;

// A window of `background` with `count` pixels (column-wise from the top-left) set to `value`,
// or a bright disc of radius 10 around (cx, cy) when count is negative.
IntPlane Window(int background, int count, int value, int cx = N / 2, int cy = N / 2) {
    IntPlane w;
    std::string error;
    EXPECT_TRUE(AllocIntPlane(N, N, w, error));
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) {
            const bool disc = (i - cx) * (i - cx) + (j - cy) * (j - cy) <= 100;
            w[i][j] = (count < 0 ? disc : i * N + j < count) ? value : background;
        }
    return w;
}

}  // namespace

TEST(FrameFlags, WindowMeasures) {
    // 0.1 % of 64 x 64 is 4.1 pixels: 4 at the ceiling pass, 5 do not.
    const struct {
        const char* name;
        IntPlane window;
        int ceiling;
        WindowMode mode;
        bool saturated, edge;
    } cases[] = {
        {"4 at 255", Window(90, 4, 255), 255, WindowMode::Centre, false, false},
        {"5 at 255", Window(90, 5, 255), 255, WindowMode::Centre, true, false},
        {"5 at 255 of 16-bit", Window(90, 5, 255), 65535, WindowMode::Centre, false, false},
        {"5 at 65535", Window(90, 5, 65535), 65535, WindowMode::Centre, true, false},
        {"disc in the middle", Window(20, -1, 200), 255, WindowMode::Peak, false, false},
        {"disc on the border", Window(20, -1, 200, 3, 30), 255, WindowMode::Peak, false, true},
        {"border, centre mode", Window(20, -1, 200, 3, 30), 255, WindowMode::Centre, false, false},
        {"flat", Window(20, 0, 0), 255, WindowMode::Peak, false, false},
    };
    for (const auto& c : cases) {
        const WindowFacts f = MeasureWindow(c.window, N, c.ceiling, c.mode);
        EXPECT_EQ(f.saturated, c.saturated) << c.name;
        EXPECT_EQ(f.edge, c.edge) << c.name;
        // The same values as a window of reals: no full scale, so never saturated.
        std::vector<double> real(std::size_t(N) * N);
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < N; ++j) real[std::size_t(i) * N + j] = c.window[i][j] + 0.5;
        const WindowFacts r = MeasureRealWindow(real.data(), N, c.mode);
        EXPECT_FALSE(r.saturated) << c.name;
        EXPECT_EQ(r.edge, c.edge) << c.name;
        EXPECT_DOUBLE_EQ(r.mean, f.mean + 0.5) << c.name;
        // Values near the largest double add up beyond it.
        for (double& v : real) v = std::ldexp(v, 1007);
        const WindowFacts huge = MeasureRealWindow(real.data(), N, c.mode);
        EXPECT_EQ(huge.edge, c.edge) << c.name;
        EXPECT_DOUBLE_EQ(huge.mean, std::ldexp(r.mean, 1007)) << c.name;
    }
}

TEST(FrameFlags, SequenceMarks) {
    const auto facts = [](std::vector<double> means, std::vector<std::uint64_t> hashes = {}) {
        std::vector<WindowFacts> out;
        for (std::size_t k = 0; k < means.size(); ++k) {
            WindowFacts f;
            f.measured = means[k] >= 0;
            f.mean = means[k];
            f.hash = k < hashes.size() ? hashes[k] : k;
            out.push_back(f);
        }
        return out;
    };
    const struct {
        const char* name;
        std::vector<WindowFacts> facts;
        std::vector<std::uint8_t> flags;
    } cases[] = {
        {"cloud", facts({100, 101, 99, 100, 102, 60}), {0, 0, 0, 0, 0, kFlagBrightness}},
        {"within 5 %", facts({100, 101, 99, 100, 102, 96}), {0, 0, 0, 0, 0, 0}},
        {"too few to judge", facts({100, 101, 99, 60}), {0, 0, 0, 0}},
        {"left out not counted",
         facts({100, -1, -1, 100, 100, 100, 140}),
         {0, 0, 0, 0, 0, 0, kFlagBrightness}},
        {"repeat", facts({100, 100, 100}, {7, 7, 8}), {0, kFlagDuplicate, 0}},
        {"repeat after a gap", facts({100, -1, 100}, {7, 7, 7}), {0, 0, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(FlagFrames(c.facts), c.flags) << c.name;

    std::vector<std::uint8_t> flags = {kFlagEdge, 0, 0};
    MixedFrames mixed;
    mixed.odd = {{0, {}}, {2, {}}, {9, {}}};
    MarkOddFrames(flags, mixed);
    EXPECT_EQ(FlagNames(flags[0]), "edge;odd");
    EXPECT_EQ(FlagNames(flags[1]), "");
    EXPECT_EQ(FlagNames(std::uint8_t(kFlagSaturated | kFlagBrightness | kFlagDuplicate)),
              "saturated;brightness;duplicate");
}

// The run measures each frame with its own format's ceiling and marks repeats.
TEST(FrameFlags, RunMarksFrames) {
    TempDir dir;
    std::mt19937 rng(5);
    std::vector<std::uint16_t> values(300 * 256);
    const auto fits = [&](const std::string& name, int block, std::uint16_t value) {
        for (std::size_t p = 0; p < values.size(); ++p)
            values[p] = int(p % 300) - 22 < block && int(p % 300) >= 22 && int(p / 300) < block
                            ? value
                            : rng() % 200;
        std::string error;
        EXPECT_TRUE(WriteFits16(dir.file(name), values.data(), 300, 256, error)) << error;
        return dir.file(name);
    };
    const auto bmp = [&](const std::string& name, int block) {
        QImage image(300, 256, QImage::Format_RGB888);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 300; ++x)
                image.setPixel(x, y, qRgb(0, x < block + 22 && y < block ? 255 : rng() % 200, 0));
        EXPECT_TRUE(image.save(QString::fromStdString(dir.file(name)), "BMP"));
        return dir.file(name);
    };
    const std::vector<std::string> paths = {bmp("a.bmp", 0),          bmp("b.bmp", 20),
                                            fits("c.fits", 20, 255),  fits("d.fits", 20, 255),
                                            fits("e.fits", 9, 65535), bmp("f.bmp", 0)};
    std::vector<std::string> list = paths;
    list.insert(list.begin() + 4, paths[3]);  // d.fits twice in a row
    AnalysisResults results;
    std::string error;
    ASSERT_TRUE(CreateAnalysisResults(results, int(list.size()), error)) << error;
    ASSERT_EQ(RunBatch(results, FrameRefs(list), WindowMode::Centre, nullptr, 2).status,
              BatchStatus::Completed);
    const std::vector<std::uint8_t> expected = {
        0, kFlagSaturated, 0, 0, kFlagDuplicate, kFlagSaturated | kFlagBrightness, 0};
    EXPECT_EQ(results.flags, expected);
}
