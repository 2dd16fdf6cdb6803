#include "fits_writer.h"
#include "frame_window.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <random>
#include <unistd.h>

namespace {

// Bytes this process has read through system calls so far; reading the count itself adds
// up to kCountingBytes.
constexpr std::uint64_t kCountingBytes = 4096;

std::uint64_t BytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}

// A FITS file with the given BZERO card and random words, a bright spot at (bx, by).
std::vector<std::uint8_t> FitsBytes(int w, int h, const std::string& bzero, int bx, int by) {
    std::string head;
    auto card = [&head](std::string text) { text.resize(80, ' '); head += text; };
    card("SIMPLE  =                    T");
    card("BITPIX  =                   16");
    card("NAXIS   =                    2");
    card("NAXIS1  = " + std::to_string(w));
    card("NAXIS2  = " + std::to_string(h));
    if (!bzero.empty()) card("BZERO   = " + bzero);
    card("END");
    head.resize(2880, ' ');
    std::vector<std::uint8_t> bytes(head.begin(), head.end());
    std::mt19937 rng(unsigned(w * 7 + h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned v = (x - bx) * (x - bx) + (y - by) * (y - by) < 400 ? 60000 : rng() % 4000;
            bytes.push_back(std::uint8_t(v >> 8));
            bytes.push_back(std::uint8_t(v));
        }
    return bytes;
}

// The window the whole-frame loader and the corner rule give.
void ExpectWholeFrameWindow(const std::string& path, WindowMode mode, const IntPlane& window) {
    Frame frame;
    JpegImage decoder;
    std::string error;
    ASSERT_EQ(LoadFrameForAnalysis(path, FileExtension(path), decoder, frame, error), 0) << error;
    int x0 = 0, y0 = 0;
    WindowCorner(frame, 256, mode, x0, y0);
    IntPlane expected;
    ASSERT_EQ(AllocIntPlane(256, 256, expected), 0);
    CopyWindow(frame, x0, y0, 256, expected);
    int differing = 0;
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < 256; ++j) differing += window[i][j] != expected[i][j];
    EXPECT_EQ(differing, 0);
}

}  // namespace

TEST(FitsWindow, AgreesWithTheWholeFrameForEveryOffset) {
    // Small offsets are summed exactly in integers; a large one takes the pixel-by-pixel
    // double sums, and an extreme one the clamped fold.
    const char* offsets[] = {"", "32768", "-1000000000", "2147483647"};
    TempDir dir;
    for (const char* bzero : offsets) {
        const std::string path = dir.write("f" + std::string(bzero) + ".fits",
                                           FitsBytes(700, 390, bzero, 520, 300));
        for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
            SCOPED_TRACE(std::string("BZERO '") + bzero + (mode == WindowMode::Peak ? "' peak" : "' centre"));
            FrameReader reader;
            IntPlane window;
            ASSERT_EQ(AllocIntPlane(256, 256, window), 0);
            int w = 0, h = 0;
            std::string error;
            ASSERT_EQ(ReadFrameWindow(path, mode, 256, reader, window, w, h, error), WindowRead::Ok)
                << error;
            ExpectWholeFrameWindow(path, mode, window);
        }
    }
}

TEST(FitsWindow, ReadsLittleOfALargeFrameAndStaysWithinASmallBudget) {
    TempDir dir;
    const int side = 4000;
    std::vector<std::uint16_t> values(std::size_t(side) * side, 100);
    for (int y = 3000; y < 3100; ++y)
        for (int x = 500; x < 600; ++x) values[std::size_t(y) * side + x] = 50000;
    const std::string path = dir.file("large.fit");
    std::string error;
    ASSERT_EQ(WriteFits16(path, values.data(), side, side, error), 0) << error;

    const std::size_t rows = std::size_t(256) * side * 2;
    const struct { WindowMode mode; std::uint64_t mostRead; } cases[] = {
        {WindowMode::Centre, rows + 2880},
        {WindowMode::Peak, std::uint64_t(side) * side * 2 + rows + 2880},
    };
    MemoryBudget budget(std::size_t(4) << 20);   // an eighth of the file
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode == WindowMode::Peak ? "peak" : "centre");
        FrameReader reader;
        reader.hold.setBudget(&budget);
        IntPlane window;
        ASSERT_EQ(AllocIntPlane(256, 256, window), 0);
        int w = 0, h = 0;
        const std::uint64_t before = BytesRead();
        ASSERT_EQ(ReadFrameWindow(path, c.mode, 256, reader, window, w, h, error), WindowRead::Ok)
            << error;
        EXPECT_LE(BytesRead() - before, c.mostRead + kCountingBytes);
        ExpectWholeFrameWindow(path, c.mode, window);
    }
}

TEST(FitsWindow, JunkOrAnEndlessHeaderIsRefusedWithoutReadingTheFile) {
    TempDir dir;
    const std::uint64_t size = std::uint64_t(1) << 30;
    auto sparse = [&](const std::string& name, const std::string& start) {
        const std::string path = dir.file(name);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::write(fd, start.data(), start.size()), ssize_t(start.size()));
        EXPECT_EQ(::ftruncate(fd, off_t(size)), 0);
        ::close(fd);
        return path;
    };
    std::string simple = "SIMPLE  =                    T";
    simple.resize(2880, ' ');
    const struct { std::string path; const char* reason; std::uint64_t mostRead; } cases[] = {
        {sparse("junk.fit", ""), "not a FITS file", 2880},
        {sparse("endless.fit", simple), "no END card in the first 360 header blocks", 360 * 2880},
    };
    for (const auto& c : cases) {
        for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
            SCOPED_TRACE(c.path + (mode == WindowMode::Peak ? " peak" : " centre"));
            FrameReader reader;
            IntPlane window;
            ASSERT_EQ(AllocIntPlane(256, 256, window), 0);
            int w = 0, h = 0;
            std::string error;
            const std::uint64_t before = BytesRead();
            EXPECT_EQ(ReadFrameWindow(c.path, mode, 256, reader, window, w, h, error),
                      WindowRead::Unreadable);
            EXPECT_LE(BytesRead() - before, c.mostRead + kCountingBytes);
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        }
    }
}
