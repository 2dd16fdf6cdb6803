#include "frame_window.h"
#include "child_process.h"
#include "frame_border_of.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <random>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace framesifter;

namespace {

// A BMP file built field by field; `data` is what follows the palette (rows or a stream).
struct Bmp {
    int infoSize = 40, width = 0, height = 0, bits = 8;
    bool topDown = false;
    std::uint32_t compression = 0, colorsUsed = 0, planes = 1, alphaMask = 0, reserved = 0;
    int paletteEntries = 0;
    long dataOffset = -1;  // -1: right after the palette
    std::vector<std::uint8_t> data;
    std::vector<std::uint32_t> masks;  // in the header from 52 bytes on, after a 40-byte one
};

void Put(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

std::vector<std::uint8_t> Build(const Bmp& b, std::mt19937& rng) {
    std::vector<std::uint8_t> out(14 + std::size_t(b.infoSize), 0);
    out[0] = 'B';
    out[1] = 'M';
    Put(out, 14, std::uint32_t(b.infoSize), 4);
    const int height = b.topDown ? -b.height : b.height;
    if (b.infoSize == 12) {
        Put(out, 18, std::uint32_t(b.width), 2);
        Put(out, 20, std::uint32_t(height), 2);
        Put(out, 22, b.planes, 2);
        Put(out, 24, std::uint32_t(b.bits), 2);
    } else {
        Put(out, 18, std::uint32_t(b.width), 4);
        Put(out, 22, std::uint32_t(height), 4);
        Put(out, 26, b.planes, 2);
        Put(out, 28, std::uint32_t(b.bits), 2);
        Put(out, 30, b.compression, 4);
        Put(out, 46, b.colorsUsed, 4);
    }
    if (b.infoSize == 40) out.resize(out.size() + 4 * b.masks.size());
    for (std::size_t i = 0; i < b.masks.size() && 58 + 4 * i <= out.size(); ++i)
        Put(out, 54 + 4 * i, b.masks[i], 4);
    if (b.infoSize >= 108) Put(out, 66, b.alphaMask, 4);
    if (b.infoSize == 124) Put(out, 134, b.reserved, 4);
    for (int i = 0; i < b.paletteEntries * (b.infoSize == 12 ? 3 : 4); ++i)
        out.push_back(std::uint8_t(rng()));
    Put(out, 10, b.dataOffset < 0 ? std::uint32_t(out.size()) : std::uint32_t(b.dataOffset), 4);
    out.insert(out.end(), b.data.begin(), b.data.end());
    return out;
}

std::vector<std::uint8_t> Noise(std::size_t n, std::mt19937& rng) {
    std::vector<std::uint8_t> v(n);
    for (auto& x : v) x = std::uint8_t(rng() % 7 == 0 ? 255 : rng());  // ties at the peak
    return v;
}

std::size_t Rows(int w, int h, int bits) { return (std::size_t(w) * bits + 31) / 32 * 4 * h; }

struct Outcome {
    WindowRead read;
    int w = 0, h = 0;
    std::vector<int> window;
    std::string error;
    std::vector<double> edge;  // peak mode: the frame's edge blocks
};

Outcome Direct(const std::vector<std::uint8_t>& file, const std::string* path, WindowMode mode,
               int N, FrameReader& reader) {
    Outcome o;
    IntPlane window;
    EXPECT_TRUE(AllocIntPlane(N, N, window, o.error));
    o.read = path
                 ? ReadFrameWindow(ParseFrameRef(*path), mode, N, reader, window, o.w, o.h, o.error)
                 : WindowFromMemory(file.data(), file.size(), ".bmp", mode, N, reader, window, o.w,
                                    o.h, o.error);
    if (o.read == WindowRead::Ok)
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < N; ++j) o.window.push_back(window[i][j]);
    if (o.read == WindowRead::Ok && reader.border.gathered()) o.edge = EdgeBlocks(reader.border);
    return o;
}

Outcome WholeFrame(const std::vector<std::uint8_t>& file, WindowMode mode, int N) {
    Outcome o;
    Frame frame;
    JpegImage decoder;
    if (!LoadFrameFromMemory(file.data(), file.size(), ".bmp", decoder, frame, o.error)) {
        o.read = WindowRead::Unreadable;
        return o;
    }
    o.w = frame.width;
    o.h = frame.height;
    o.read = o.w < N || o.h < N ? WindowRead::TooSmall : WindowRead::Ok;
    if (o.read == WindowRead::Ok) {
        IntPlane window;
        EXPECT_TRUE(AllocIntPlane(N, N, window, o.error));
        int x0 = 0, y0 = 0;
        WindowCorner(frame, N, mode, x0, y0);
        CopyWindow(frame, x0, y0, N, window);
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < N; ++j) o.window.push_back(window[i][j]);
        if (mode == WindowMode::Peak) o.edge = EdgeBlocksOf(frame);
    }
    return o;
}

}  // namespace

TEST(BmpWindow, MatchesTheWholeFrameReader) {
    std::mt19937 rng(7);
    // Run-length commands: runs, literals of odd length, deltas, ends of lines, a run
    // clamped at the end of the first row.
    const std::vector<std::uint8_t> rle8 = {5, 9, 0, 3,  200, 201, 202, 0, 0, 2,   2, 0, 5, 99,
                                            0, 0, 4, 17, 0,   2,   3,   1, 0, 3,   1, 2, 3, 0,
                                            0, 0, 3, 77, 0,   2,   0,   2, 4, 250, 0, 1};
    const std::vector<std::uint8_t> rle4 = {7,    0x9f, 0,    5,    0x12, 0x3f, 0x40, 0,   30,
                                            0xe1, 0,    0,    0,    2,    4,    1,    3,   0xfd,
                                            0,    3,    0xab, 0xc0, 0,    0,    6,    0x21};
#pragma GCC diagnostic push
// Rows of kinds without channel masks leave them empty.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
    const struct {
        const char* name;
        Bmp bmp;
        int N;
    } cases[] = {
        {"24 bits, odd width",
         {40, 37, 23, 24, false, 0, 0, 1, 0, 0, 0, -1, Noise(Rows(37, 23, 24), rng)},
         16},
        {"24 bits top down",
         {40, 37, 23, 24, true, 0, 0, 1, 0, 0, 0, -1, Noise(Rows(37, 23, 24), rng)},
         16},
        {"32 bits",
         {40, 30, 20, 32, false, 0, 0, 1, 0, 0, 0, -1, Noise(Rows(30, 20, 32), rng)},
         16},
        {"32 bits top down v5",
         {124, 30, 20, 32, true, 0, 0, 1, 0, 0, 0, -1, Noise(Rows(30, 20, 32), rng)},
         16},
        {"32 bits alpha mask",
         {108, 30, 20, 32, false, 0, 0, 1, 0xff000000, 0, 0, -1, Noise(Rows(30, 20, 32), rng)},
         16},
        {"8 bits", {40, 33, 21, 8, false, 0, 0, 1, 0, 0, 256, -1, Noise(Rows(33, 21, 8), rng)}, 16},
        // Rows wider than a reader's piece: the window's rows come in several reads.
        {"24 bits, rows read in pieces",
         {40, 23000, 20, 24, false, 0, 0, 1, 0, 0, 0, -1, Noise(Rows(23000, 20, 24), rng)},
         16},
        {"24 bits top down, rows read in pieces",
         {40, 23000, 20, 24, true, 0, 0, 1, 0, 0, 0, -1, Noise(Rows(23000, 20, 24), rng)},
         16},
        {"8 bits, rows read in pieces",
         {40, 70000, 19, 8, false, 0, 0, 1, 0, 0, 256, -1, Noise(Rows(70000, 19, 8), rng)},
         16},
        {"8 bits short palette",
         {40, 33, 21, 8, true, 0, 10, 1, 0, 0, 10, -1, Noise(Rows(33, 21, 8), rng)},
         16},
        {"8 bits old header",
         {12, 35, 21, 8, false, 0, 0, 1, 0, 0, 256, -1, Noise(Rows(35, 21, 8), rng)},
         16},
        {"8 bits offset into palette",
         {40, 33, 21, 8, false, 0, 0, 1, 0, 0, 256, 54, Noise(Rows(33, 21, 8), rng)},
         16},
        {"8 bits rows cut short",
         {40, 33, 21, 8, false, 0, 0, 1, 0, 0, 256, 54, Noise(Rows(33, 21, 8) - 40, rng)},
         16},
        {"palette ends the file", {40, 4, 4, 8, false, 0, 0, 1, 0, 0, 256, 54, {}}, 2},
        {"too many colours",
         {40, 33, 21, 8, false, 0, 300, 1, 0, 0, 300, -1, Noise(Rows(33, 21, 8), rng)},
         16},
        {"two planes",
         {40, 33, 21, 24, false, 0, 0, 2, 0, 0, 0, -1, Noise(Rows(33, 21, 24), rng)},
         16},
        {"too small",
         {40, 15, 40, 24, false, 0, 0, 1, 0, 0, 0, -1, Noise(Rows(15, 40, 24), rng)},
         16},
        {"4 bits", {40, 33, 21, 4, false, 0, 0, 1, 0, 0, 16, -1, Noise(Rows(33, 21, 4), rng)}, 16},
        {"16 bits",
         {40, 33, 21, 16, false, 0, 0, 1, 0, 0, 0, -1, Noise(Rows(33, 21, 16), rng)},
         16},
        {"52-byte header",
         {52, 33, 21, 24, false, 0, 0, 1, 0, 0, 0, -1, Noise(Rows(33, 21, 24), rng)},
         16},
        {"1 bit", {40, 70, 21, 1, true, 0, 0, 1, 0, 0, 2, -1, Noise(Rows(70, 21, 1), rng)}, 16},
        {"16 bits 565",
         {40,
          33,
          21,
          16,
          false,
          3,
          0,
          1,
          0,
          0,
          0,
          -1,
          Noise(Rows(33, 21, 16), rng),
          {0xf800, 0x07e0, 0x001f}},
         16},
        {"32 bits of 10-bit channels, 56-byte header",
         {56,
          33,
          21,
          32,
          false,
          3,
          0,
          1,
          0,
          0,
          0,
          -1,
          Noise(Rows(33, 21, 32), rng),
          {0x3ff00000, 0x000ffc00, 0x000003ff, 0xc0000000}},
         16},
        {"32 bits of 18-bit green, top down",
         {40,
          33,
          21,
          32,
          true,
          3,
          0,
          1,
          0,
          0,
          0,
          -1,
          Noise(Rows(33, 21, 32), rng),
          {0xfe000000, 0x01ffff80, 0x0000007f}},
         16},
        {"run length 8 damaged",
         {40, 12, 9, 8, false, 1, 0, 1, 0, 0, 256, -1, {0, 2, 20, 0, 0, 1}},
         8},
        {"run length 8", {40, 12, 9, 8, false, 1, 0, 1, 0, 0, 256, -1, rle8}, 8},
        {"run length 8 top down", {40, 12, 9, 8, true, 1, 0, 1, 0, 0, 256, -1, rle8}, 8},
        {"run length 8 without an end",
         {40, 12, 9, 8, false, 1, 0, 1, 0, 0, 256, -1, {rle8.begin(), rle8.end() - 2}},
         8},
        {"run length 8 literal cut off",
         {40, 12, 9, 8, false, 1, 0, 1, 0, 0, 256, -1, {0, 9, 1, 2, 3}},
         8},
        {"run length 8 spilling",
         {40, 6, 6, 8, false, 1, 0, 1, 0, 0, 256, -1, {0, 0, 30, 9, 0, 1}},
         4},
        {"run length 8 too small", {40, 12, 3, 8, false, 1, 0, 1, 0, 0, 256, -1, rle8}, 8},
        {"run length 4", {40, 12, 9, 4, false, 2, 16, 1, 0, 0, 16, -1, rle4}, 8},
        {"run length 4 top down", {40, 12, 9, 4, true, 2, 5, 1, 0, 0, 5, -1, rle4}, 8},
    };
#pragma GCC diagnostic pop
    TempDir dir;
    for (const auto& c : cases) {
        const auto file = Build(c.bmp, rng);
        const std::string path = dir.write("f.bmp", file);
        for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
            SCOPED_TRACE(std::string(c.name) + (mode == WindowMode::Peak ? " peak" : " centre"));
            const Outcome expected = WholeFrame(file, mode, c.N);
            FrameReader reader;
            for (const std::string* from : {static_cast<const std::string*>(nullptr), &path}) {
                const Outcome got = Direct(file, from, mode, c.N, reader);
                ASSERT_EQ(got.read, expected.read) << got.error << " / " << expected.error;
                EXPECT_EQ(got.read == WindowRead::Unreadable, !got.error.empty()) << got.error;
                if (got.read == WindowRead::Unreadable) continue;
                EXPECT_EQ(got.w, expected.w);
                EXPECT_EQ(got.h, expected.h);
                EXPECT_EQ(got.window, expected.window);
                EXPECT_EQ(got.edge, expected.edge);
            }
        }
    }
}

TEST(BmpWindow, RunLengthDataDeclaringAHugeImageCostLittle) {
    // 16000 x 16000 pixels from a few bytes: the rows the data never reach are colour 0. The
    // reading runs in a child process whose address space could not hold the image.
    std::mt19937 rng(3);
    Bmp bmp{40, 16000, 16000, 8, false, 1, 0, 1, 0, 0, 256, -1, {}, {}};
    bmp.data = {0, 2, 255, 255};
    for (int k = 0; k < 40; ++k) bmp.data.insert(bmp.data.end(), {0, 2, 0, 200, 200, 7});
    bmp.data.insert(bmp.data.end(), {0, 1});
    const auto file = Build(bmp, rng);
    for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
        int status = 0;
        const std::string read = RunInChild(
            [&]() -> std::string {
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer reserves far more address space
                rlimit limit{std::size_t(1) << 30, std::size_t(1) << 30};
                setrlimit(RLIMIT_AS, &limit);  // far below Qt's image, conversion and copy
#endif
                FrameReader reader;
                const Outcome o = Direct(file, nullptr, mode, 256, reader);
                return o.read == WindowRead::Ok && o.w == 16000 && o.h == 16000 ? "read" : o.error;
            },
            status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(read, "read");
    }
    // Data that spill out of their rows are damaged, and refused as such.
    bmp.data = {0, 0};
    for (int k = 0; k < 63; ++k) bmp.data.insert(bmp.data.end(), {255, 7});
    FrameReader reader;
    const Outcome o = Direct(Build(bmp, rng), nullptr, WindowMode::Centre, 256, reader);
    EXPECT_EQ(o.read, WindowRead::Unreadable);
    EXPECT_NE(o.error.find("a run goes past the end of its row"), std::string::npos) << o.error;
}
