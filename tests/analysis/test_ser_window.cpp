#include "fits_writer.h"
#include "frame_border_of.h"
#include "frame_ref.h"
#include "frame_window.h"
#include "ser_test_files.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

using namespace framesifter;
using namespace ser_test_files;

namespace {

// Frame f of a video: a bright blob that moves from frame to frame on a varying background.
std::uint16_t Blob(int f, int x, int y, int w, int h) {
    const int bx = (w / 5 + f * w / 3) % w, by = (h - 1 - f * h / 4) % h;
    const double d2 = double(x - bx) * (x - bx) + double(y - by) * (y - by);
    return std::uint16_t(
        std::min(65535.0, 400 + 60000 * std::exp(-d2 / 300.0) + (x * 7 + y * 13 + f * 5) % 211));
}

std::vector<std::uint16_t> FrameValues(const SampleAt& value, int f, int w, int h) {
    std::vector<std::uint16_t> v(std::size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) v[std::size_t(y) * w + x] = value(f, x, y, 0);
    return v;
}

struct Window {
    IntPlane plane;
    WindowRead read = WindowRead::Unreadable;
    int w = 0, h = 0;
    std::string error;
    std::vector<double> edge;  // peak mode: the frame's edge blocks
};

Window Read(const std::string& entry, WindowMode mode, int N) {
    static FrameReader reader;  // one reader across frames and videos, as in a run
    Window out;
    if (!AllocIntPlane(N, N, out.plane, out.error)) std::abort();
    out.read =
        ReadFrameWindow(ParseFrameRef(entry), mode, N, reader, out.plane, out.w, out.h, out.error);
    if (reader.border.gathered()) out.edge = EdgeBlocks(reader.border);
    return out;
}

bool SameWindow(const IntPlane& a, const IntPlane& b, int N) {
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j)
            if (a[i][j] != b[i][j]) return false;
    return true;
}

std::uint64_t BytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}

}  // namespace

TEST(SerWindow, MonoAndBayerFramesGiveTheWindowOfAFitsFileOfTheSameValues) {
    TempDir dir;
    const struct {
        const char* name;
        int colour, flag, depth, w, h, N;
    } videos[] = {
        {"mono16.ser", 0, 0, 16, 96, 80, 32},     {"mono16be.ser", 0, 1, 16, 96, 80, 32},
        {"mono8.ser", 0, 0, 8, 65, 70, 32},       {"bayer12.ser", 8, 0, 12, 70, 65, 16},
        {"bayer16be.SER", 19, 1, 16, 33, 40, 33}, {"large.ser", 0, 0, 16, 1100, 1000, 64},
    };
    for (const auto& v : videos) {
        SerLayout layout;
        layout.colour = v.colour;
        layout.flag = v.flag;
        layout.depth = v.depth;
        layout.width = v.w;
        layout.height = v.h;
        layout.count = 3;
        const int shift = 16 - v.depth;
        const SampleAt value = [&](int f, int x, int y, int) {
            return std::uint16_t(Blob(f, x, y, v.w, v.h) >> shift);
        };
        const std::string video = dir.write(v.name, SerBytes(layout, value));
        for (int f = 0; f < 3; ++f) {
            const std::vector<std::uint16_t> values = FrameValues(value, f, v.w, v.h);
            const std::string fits = dir.file(std::string(v.name) + std::to_string(f) + ".fit");
            std::string error;
            ASSERT_TRUE(WriteFits16(fits, values.data(), v.w, v.h, error)) << error;
            for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
                SCOPED_TRACE(std::string(v.name) + " frame " + std::to_string(f + 1) +
                             (mode == WindowMode::Peak ? " peak" : " centre"));
                const Window got = Read(FrameRefText({video, f + 1}), mode, v.N);
                const Window expected = Read(fits, mode, v.N);
                ASSERT_EQ(got.read, WindowRead::Ok) << got.error;
                ASSERT_EQ(expected.read, WindowRead::Ok) << expected.error;
                EXPECT_EQ(got.w, v.w);
                EXPECT_EQ(got.h, v.h);
                EXPECT_TRUE(SameWindow(got.plane, expected.plane, v.N));
                EXPECT_EQ(got.edge, expected.edge);
            }
        }
    }
}

TEST(SerWindow, ColourFramesTakeTheGreenSampleAndItsBrightestValue) {
    TempDir dir;
    const int w = 90, h = 70, N = 32;
    // Green peaks twice at the same value, (70, 10) first in row order; red and blue are
    // brighter still elsewhere.
    auto green = [](int x, int y) -> int {
        if ((x == 70 && y == 10) || (x == 5 && y == 60)) return 250;
        return (x * 3 + y * 5) % 200;
    };
    const struct {
        int colour, depth, flag;
    } kinds[] = {{100, 8, 0}, {101, 8, 0}, {100, 16, 0}, {101, 16, 1}, {100, 10, 1}};
    for (const auto& k : kinds) {
        SerLayout layout;
        layout.colour = k.colour;
        layout.depth = k.depth;
        layout.flag = k.flag;
        layout.width = w;
        layout.height = h;
        const int scale = k.depth > 8 ? 3 : 1;
        const std::string video =
            dir.write("c" + std::to_string(k.colour) + "-" + std::to_string(k.depth) + ".ser",
                      SerBytes(layout, [&](int, int x, int y, int plane) {
                          if (plane == 1) return std::uint16_t(green(x, y) * scale);
                          return std::uint16_t((x == 20 && y == 30 ? 255 : 1 + plane) * scale);
                      }));
        const struct {
            WindowMode mode;
            int x0, y0;
        } modes[] = {{WindowMode::Centre, (w - N) / 2, (h - N) / 2},
                     {WindowMode::Peak, 70 - N / 2, 0}};
        for (const auto& m : modes) {
            SCOPED_TRACE(video + (m.mode == WindowMode::Peak ? " peak" : " centre"));
            const Window got = Read(video + "#2", m.mode, N);
            ASSERT_EQ(got.read, WindowRead::Ok) << got.error;
            bool same = true;
            for (int i = 0; i < N; ++i)
                for (int j = 0; j < N; ++j)
                    same = same && got.plane[i][j] == green(m.x0 + i, m.y0 + j) * scale;
            EXPECT_TRUE(same);
            if (m.mode == WindowMode::Peak)
                EXPECT_EQ(got.edge,
                          EdgeBlocksOf(w, h, [&](int x, int y) { return green(x, y) * scale; }));
        }
    }
}

TEST(SerWindow, RefusalsAndFramesTooSmall) {
    TempDir dir;
    SerLayout layout;
    layout.width = 20;
    layout.height = 40;
    layout.count = 3;
    const auto zero = [](int, int, int, int) { return std::uint16_t(0); };
    const std::vector<std::uint8_t> bytes = SerBytes(layout, zero);
    const std::string small = dir.write("small.ser", bytes);
    const std::string cut =
        dir.write("cut.ser", std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1));
    const std::string literal = dir.write("x.ser#2", bytes);  // a file, and no x.ser
    const struct {
        std::string entry;
        WindowRead expected;
        std::string reason;
    } cases[] = {
        {small + "#3", WindowRead::TooSmall, ""},
        {small + "#4", WindowRead::Unreadable, "no frame 4 in a video of 3 frames"},
        {small, WindowRead::Unreadable, "a SER video: its frames are named PATH#1, PATH#2, ..."},
        {cut + "#1", WindowRead::Unreadable, "truncated: 3 frames announced, 2 present"},
        {dir.file("missing.ser") + "#1", WindowRead::Unreadable, "No such file"},
        {small + "#0", WindowRead::Unreadable, "has no frame 0; its frames are numbered 1 to 3"},
        {small + "#-1", WindowRead::Unreadable, "has no frame -1; its frames are numbered 1 to 3"},
        {small + "#x", WindowRead::Unreadable, "has no frame 'x'"},
        {small + "#01", WindowRead::Unreadable, "without leading zeros: " + small + "#1"},
        {dir.file("gone.ser") + "#0", WindowRead::Unreadable, "numbered from 1"},
        {literal, WindowRead::Unreadable, "there is no video " + dir.file("x.ser")},
    };
    for (const auto& c : cases) {
        for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
            SCOPED_TRACE(c.entry + (mode == WindowMode::Peak ? " peak" : " centre"));
            const Window got = Read(c.entry, mode, 32);
            EXPECT_EQ(got.read, c.expected);
            if (c.expected == WindowRead::TooSmall) {
                EXPECT_EQ(got.w, 20);
                EXPECT_EQ(got.h, 40);
            } else {
                EXPECT_NE(got.error.find(c.reason), std::string::npos) << got.error;
            }
        }
    }
}

TEST(SerWindow, CentreModeReadsOnlyTheWindowRows) {
    TempDir dir;
    SerLayout layout;
    layout.width = layout.height = 2000;
    layout.depth = 16;
    layout.count = 2;
    const std::string video = dir.write("big.ser", SerBytes(layout, [](int f, int x, int y, int) {
                                            return Blob(f, x, y, 2000, 2000);
                                        }));
    const std::uint64_t before = BytesRead();
    const Window got = Read(video + "#2", WindowMode::Centre, 256);
    ASSERT_EQ(got.read, WindowRead::Ok) << got.error;
    EXPECT_LE(BytesRead() - before, std::uint64_t(256) * 4000 + 178 + 4096);
    for (int i = 0; i < 256; i += 51)
        EXPECT_EQ(got.plane[i][7], Blob(1, 872 + i, 879, 2000, 2000)) << i;
}
