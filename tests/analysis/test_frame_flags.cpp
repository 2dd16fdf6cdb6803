#include "batch_run.h"
#include "fits_writer.h"
#include "frame_flags.h"
#include "frame_refs.h"
#include "frame_signature.h"
#include "frame_test_images.h"
#include "temp_dir.h"
#include "window_corner.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
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
        bool saturated, windowEdge;
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
        const FrameBorder none;
        const WindowFacts f = MeasureWindow(c.window, N, c.ceiling, c.mode, none);
        EXPECT_EQ(f.saturated, c.saturated) << c.name;
        EXPECT_EQ(f.ringShare > kEdgeShare, c.windowEdge) << c.name;
        // The same values as a window of reals: no full scale, so never saturated.
        std::vector<double> real(std::size_t(N) * N);
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < N; ++j) real[std::size_t(i) * N + j] = c.window[i][j] + 0.5;
        const WindowFacts r = MeasureRealWindow(real.data(), N, c.mode, none);
        EXPECT_FALSE(r.saturated) << c.name;
        EXPECT_EQ(r.ringShare > kEdgeShare, c.windowEdge) << c.name;
        EXPECT_DOUBLE_EQ(r.mean, f.mean + 0.5) << c.name;
        // Values near the largest double add up beyond it.
        for (double& v : real) v = std::ldexp(v, 1007);
        const WindowFacts huge = MeasureRealWindow(real.data(), N, c.mode, none);
        EXPECT_EQ(huge.ringShare > kEdgeShare, c.windowEdge) << c.name;
        EXPECT_DOUBLE_EQ(huge.mean, std::ldexp(r.mean, 1007)) << c.name;
    }
}

// The median of whole numbers is counted, of others selected: both give the same rank, so
// windows near the ring's share get the same answer either way.
TEST(FrameFlags, CountedAndSelectedMediansAgree) {
    std::mt19937 rng(11);
    const FrameBorder none;
    int heavy = 0;
    for (int k = 0; k < 300; ++k) {
        const int span = k % 3 == 0 ? 7 : k % 3 == 1 ? 300 : 65535;
        const int offset = k % 2 ? -span / 2 : 1000;
        IntPlane w;
        std::string error;
        ASSERT_TRUE(AllocIntPlane(N, N, w, error));
        std::vector<double> real(std::size_t(N) * N);
        const double dim = 0.5 + 0.05 * (k % 7);  // the ring a little darker
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < N; ++j) {
                const bool ring = std::min({i, j, N - 1 - i, N - 1 - j}) < kEdgeRing;
                const int v = offset + int(rng() % unsigned(span + 1) * (ring ? dim : 1));
                w[i][j] = v;
                real[std::size_t(i) * N + j] = v;
            }
        const double counted = MeasureWindow(w, N, INT32_MAX, WindowMode::Peak, none).ringShare;
        EXPECT_EQ(counted, MeasureRealWindow(real.data(), N, WindowMode::Peak, none).ringShare)
            << k;
        heavy += counted > kEdgeShare;
    }
    EXPECT_GT(heavy, 30);  // both answers occur
    EXPECT_LT(heavy, 270);
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
    // Edge facts by frame: 'f' on the frame's edge, 'n' near it, 'w' a heavy window ring,
    // 'v' nearly, '-' left out.
    const auto edges = [](const std::string& marks) {
        std::vector<WindowFacts> out;
        for (char m : marks) {
            WindowFacts f;
            f.measured = m != '-';
            f.edgeSpan = m == 'f' ? kEdgeSpan : m == 'n' ? kEdgeSpan * 0.7 : 0;
            f.ringShare = m == 'w' ? kEdgeShare * 1.01 : m == 'v' ? kEdgeShare * 0.7 : 0;
            f.mean = 100;
            f.hash = out.size();
            out.push_back(f);
        }
        return out;
    };
    const std::uint8_t E = kFlagEdge;
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
        {"on the frame's edge, few", edges("..f.f"), {0, 0, E, 0, E}},
        {"on the frame's edge, most", edges(".fff."), {0, 0, 0, 0, 0}},
        {"on the frame's edge, half", edges("f.f."), {0, 0, 0, 0}},
        {"left out not counted", edges("f--."), {0, 0, 0, 0}},
        {"heavy window ring, few", edges("w...."), {E, 0, 0, 0, 0}},
        {"heavy window ring, most", edges("ww.w"), {0, 0, 0, 0}},
        {"each kind counted alone", edges("wwwfw..."), {0, 0, 0, E, 0, 0, 0, 0}},
        {"frame-filling, any ring", edges("ffwff."), {0, 0, 0, 0, 0, 0}},
        {"near the frame's edge counts for most", edges("nnf.."), {0, 0, 0, 0, 0}},
        {"near it, few", edges("nf..."), {0, E, 0, 0, 0}},
        {"a nearly heavy ring counts for most", edges("vvw.."), {0, 0, 0, 0, 0}},
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

namespace {

// Frames of kW x kH with a limb-darkened disc (its rim softened as seeing blurs it), or a
// textured surface filling the frame, on a sky with Gaussian noise; windows of kN.
constexpr int kW = 320, kH = 240, kN = 128;

struct Sky {
    bool bitmap;  // 8 bits, the window around the brightest pixel; else 16 bits, the centroid
    double sky, disc, noise;
    double scale;  // not 0: the window's values times scale plus a quarter, as reals
    double r = 47;
    double rim = 2;  // pixels over which the rim fades, as seeing blurs it
};

// The distance from the disc's centre to a line that cuts `share` of its area off.
double CutDepth(double share, double r) {
    if (share <= 0) return r + 1;  // whole, its rim a pixel inside
    double lo = -r, hi = r;
    for (int k = 0; k < 60; ++k) {
        const double h = (lo + hi) / 2;
        const double cut = r * r * std::acos(h / r) - h * std::sqrt(r * r - h * h);
        (cut / (M_PI * r * r) > share ? lo : hi) = h;
    }
    return (lo + hi) / 2;
}

// The facts of one frame as a run measures them.
WindowFacts DiscFacts(const Sky& s, bool filling, double cx, double cy, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, s.noise);
    Frame frame;
    frame.kind = s.bitmap ? FrameKind::Bitmap : FrameKind::Fits;
    frame.width = kW;
    frame.height = kH;
    std::string error;
    EXPECT_TRUE(AllocIntPlane(kW, kH, frame.plane, error));
    frame.bgr.assign(std::size_t(kW) * kH * 3, 0);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            double light;
            if (filling) {
                light = 0.6 + 0.25 * std::sin(x / 9.0 + seed) * std::cos(y / 13.0) +
                        0.15 * std::sin((x - 2.0 * y) / 29.0);
            } else {
                const double r = std::hypot(x - cx, y - cy) / s.r;
                const double rim = std::clamp((1 - r) * s.r / s.rim + 0.5, 0.0, 1.0);
                light = rim * (0.4 + 0.6 * std::sqrt(std::max(0.0, 1 - r * r)));
            }
            const double v = std::clamp(std::round(s.sky + s.disc * light + noise(rng)), 0.0,
                                        s.bitmap ? 255.0 : 65535.0);
            frame.plane[x][y] = int(v);
            frame.bgr[(std::size_t(y) * kW + x) * 3 + 1] = std::uint8_t(std::min(v, 255.0));
        }
    const auto value = [&](int x, int y) {
        const double v = s.bitmap ? frame.green(x, y) : frame.plane[x][y];
        return s.scale ? v * s.scale + 0.25 : v;
    };
    FrameBorder border;
    border.start(kW, kH);
    for (int y = 0; y < kH; ++y) border.offerRow(y, [&](int x) { return value(x, y); });
    int x0 = 0, y0 = 0;
    WindowCorner(frame, kN, WindowMode::Peak, x0, y0);
    IntPlane window;
    EXPECT_TRUE(AllocIntPlane(kN, kN, window, error));
    CopyWindow(frame, x0, y0, kN, window);
    if (!s.scale)
        return MeasureWindow(window, kN, s.bitmap ? 255 : 65535, WindowMode::Peak, border);
    std::vector<double> real(std::size_t(kN) * kN);
    for (int i = 0; i < kN; ++i)
        for (int j = 0; j < kN; ++j) real[std::size_t(i) * kN + j] = value(x0 + i, y0 + j);
    return MeasureRealWindow(real.data(), kN, WindowMode::Peak, border);
}

}  // namespace

// A disc cut by the frame's edge is flagged from a small cut on, whatever side, placement,
// noise or kind of value, among frames where the disc lies whole; a frame-filling sequence is
// not.
TEST(FrameFlags, ObjectCutByTheFrameEdge) {
    const struct {
        const char* name;
        Sky sky;
    } skies[] = {
        {"16-bit, centroid", {false, 655, 50000, 200, 0}},
        {"8-bit, brightest pixel", {true, 3, 200, 1, 0}},
        {"dim disc, noisy sky", {false, 655, 50000, 4000, 0}},
        {"real values", {false, 655, 50000, 200, 0.37}},
        {"real values near the largest double", {false, 655, 50000, 200, 0x1p1000}},
        {"small disc, 8-bit", {true, 3, 200, 1, 0, 20}},
        {"blurred rim, 8-bit", {true, 3, 200, 1, 0, 47, 10}},
        {"disc larger than the window, 8-bit", {true, 3, 200, 1, 0, 75}},
    };
    const double shares[] = {0, 0.07, 0.30, 0.58, 0.90};
    const std::vector<std::uint8_t> expected = {0, 0,         0,         0,         0,        0,
                                                0, kFlagEdge, kFlagEdge, kFlagEdge, kFlagEdge};
    for (const auto& s : skies) {
        for (int side = 0; side < 4; ++side) {
            SCOPED_TRACE(std::string(s.name) + ", side " + std::to_string(side));
            std::vector<WindowFacts> facts;
            for (int k = 0; k < 6; ++k)  // whole, about the middle
                facts.push_back(DiscFacts(s.sky, false, kW / 2 + 40 * std::sin(k * 1.3),
                                          kH / 2 + 20 * std::cos(k * 0.7), std::uint32_t(k)));
            for (double share : shares) {
                const double h = CutDepth(share, s.sky.r) - 0.5;  // the edge lies half a pixel out
                const double along = kW / 2 + 17 * share, down = kH / 2 - 11 * share;
                const double cx[] = {h, kW - 1 - h, along, along};
                const double cy[] = {down, down, h, kH - 1 - h};
                facts.push_back(
                    DiscFacts(s.sky, false, cx[side], cy[side], std::uint32_t(facts.size())));
            }
            std::vector<std::uint8_t> got = FlagFrames(facts);
            for (std::uint8_t& f : got) f &= kFlagEdge;  // a cut disc's mean stands out too
            EXPECT_EQ(got, expected);
        }
        std::vector<WindowFacts> filling;
        for (int k = 0; k < 6; ++k)
            filling.push_back(DiscFacts(s.sky, true, 0, 0, std::uint32_t(k)));
        EXPECT_EQ(FlagFrames(filling), std::vector<std::uint8_t>(6, 0)) << s.name;
    }
}

// Through a run: the readers gather the frame's edge in peak mode, and the flag reaches the
// results; centre mode reads no edge and sets none.
TEST(FrameFlags, RunFlagsAFrameCutByTheFrameEdge) {
    TempDir dir;
    const int w = 400, h = 300;
    const auto disc = [&](double cx, double cy, int x, int y) {
        const double r = std::hypot(x - cx, y - cy) / 60;
        return r < 1 ? 40 + 180 * (0.4 + 0.6 * std::sqrt(1 - r * r)) : 40.0;
    };
    const struct {
        double cx, cy;
        bool cut;
    } frames[] = {{200, 150, false}, {150, 140, false}, {230, 160, false}, {20, 150, true},
                  {210, 130, false}, {250, 290, true},  {190, 170, false}};
    for (const std::string ext : {".bmp", ".fits"}) {
        std::vector<std::string> paths;
        std::vector<std::uint8_t> expected;
        for (const auto& f : frames) {
            std::vector<Bgr> pixels;
            std::vector<std::uint16_t> values;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const double v = disc(f.cx, f.cy, x, y);
                    pixels.push_back({0, std::uint8_t(v), 0});
                    values.push_back(std::uint16_t(v * 100));
                }
            const std::string path = dir.file(std::to_string(paths.size()) + ext);
            std::string error;
            if (ext == ".bmp")
                dir.write(std::to_string(paths.size()) + ext, MakeBmp24(w, h, pixels));
            else
                ASSERT_TRUE(WriteFits16(path, values.data(), w, h, error)) << error;
            paths.push_back(path);
            expected.push_back(f.cut ? kFlagEdge : 0);
        }
        for (WindowMode mode : {WindowMode::Peak, WindowMode::Centre}) {
            AnalysisResults results;
            std::string error;
            ASSERT_TRUE(CreateAnalysisResults(results, int(paths.size()), error)) << error;
            ASSERT_EQ(RunBatch(results, FrameRefs(paths), mode, nullptr, 2).status,
                      BatchStatus::Completed);
            std::vector<std::uint8_t> edge = results.flags;
            for (std::uint8_t& f : edge) f &= kFlagEdge;  // a cut disc's mean stands out too
            EXPECT_EQ(edge, mode == WindowMode::Peak
                                ? expected
                                : std::vector<std::uint8_t>(expected.size(), 0))
                << ext;
        }
    }
}
