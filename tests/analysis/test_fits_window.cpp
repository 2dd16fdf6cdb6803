#include "fits_general.h"
#include "fits_library_writer.h"
#include "fits_reader.h"
#include "fits_test_reader.h"
#include "fits_writer.h"
#include "frame_border_of.h"
#include "frame_window.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sys/stat.h>

using namespace framesifter;

namespace {

// Bytes this process has read through system calls; reading the count itself adds a little.
std::uint64_t BytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}
constexpr std::uint64_t kCountingBytes = 4096;

}  // namespace

TEST(FitsWindow, ReadsLittleOfALargeFrameAndStaysWithinASmallBudget) {
    TempDir dir;
    const int side = 4000;
    std::vector<std::uint16_t> values(std::size_t(side) * side, 100);
    for (int y = 3000; y < 3100; ++y)
        for (int x = 500; x < 600; ++x) values[std::size_t(y) * side + x] = 50000;
    const std::string path = dir.file("large.fit");
    std::string error;
    ASSERT_TRUE(WriteFits16(path, values.data(), side, side, error)) << error;
    Frame frame;
    JpegImage decoder;
    ASSERT_TRUE(LoadFrameForAnalysis(path, ".fit", decoder, frame, error)) << error;

    const std::uint64_t rows = std::uint64_t(256) * side * 2 + 2880;
    const struct {
        WindowMode mode;
        std::uint64_t mostRead;
    } cases[] = {
        {WindowMode::Centre, rows},
        {WindowMode::Peak, std::uint64_t(side) * side * 2 + rows},
    };
    MemoryBudget budget(std::size_t(4) << 20);  // an eighth of the file
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode == WindowMode::Peak ? "peak" : "centre");
        FrameReader reader;
        reader.hold.setBudget(&budget);
        IntPlane window, expected;
        ASSERT_TRUE(AllocIntPlane(256, 256, window, error) &&
                    AllocIntPlane(256, 256, expected, error));
        int w = 0, h = 0;
        const std::uint64_t before = BytesRead();
        ASSERT_EQ(ReadFrameWindow(ParseFrameRef(path), c.mode, 256, reader, window, w, h, error),
                  WindowRead::Ok)
            << error;
        EXPECT_LE(BytesRead() - before, c.mostRead + kCountingBytes);
        int x0 = 0, y0 = 0;
        WindowCorner(frame, 256, c.mode, x0, y0);
        CopyWindow(frame, x0, y0, 256, expected);
        EXPECT_EQ(std::memcmp(window.data(), expected.data(), 256 * 256 * 4), 0);
    }
}

TEST(FitsReaders, StopAtTheHeaderOfJunkAnEndlessHeaderOrAPipe) {
    TempDir dir;
    // Sparse 1 GiB files: zeros, and a SIMPLE card followed by blanks with no END anywhere.
    const std::string junk = dir.write("junk.fit", std::string());
    std::string simple = "SIMPLE  =                    T";
    simple.resize(2880, ' ');
    const std::string endless = dir.write("endless.fit", simple);
    for (const std::string& path : {junk, endless})
        std::filesystem::resize_file(path, std::uintmax_t(1) << 30);
    const std::string fifo = dir.file("pipe.fit");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        const char* reason;
        std::uint64_t mostRead;
    } cases[] = {
        {junk, "not a FITS file", 2880},
        {endless, "no END card in the first 360 header blocks", 360 * 2880},
        {fifo, "not a regular file", 0},
    };
    using Reader = std::function<bool(const std::string&, std::string&)>;
    auto window = [](WindowMode mode) -> Reader {
        return [mode](const std::string& path, std::string& error) {
            FrameReader reader;
            IntPlane plane;
            int w = 0, h = 0;
            return AllocIntPlane(256, 256, plane, error) &&
                   ReadFrameWindow(ParseFrameRef(path), mode, 256, reader, plane, w, h, error) ==
                       WindowRead::Ok;
        };
    };
    const Reader readers[] = {
        window(WindowMode::Centre),
        window(WindowMode::Peak),
        [](const std::string& path, std::string& error) {
            int w = 0, h = 0;
            return fits_test_reader::ReadFitsSize(path, w, h, error);
        },
        [](const std::string& path, std::string& error) {
            IntPlane plane;
            int w = 0, h = 0;
            return ReadFitsFrame(path, plane, w, h, error);
        },
    };
    for (const auto& c : cases) {
        for (std::size_t r = 0; r < std::size(readers); ++r) {
            SCOPED_TRACE(c.path + ", reader " + std::to_string(r));
            std::string error;
            const std::uint64_t before = BytesRead();
            auto read = std::async(std::launch::async, [&] { return readers[r](c.path, error); });
            if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
                ADD_FAILURE() << "the reader waits";
                std::ofstream(c.path).close();  // a writer that comes and goes releases it
            }
            EXPECT_FALSE(read.get());
            EXPECT_LE(BytesRead() - before, c.mostRead + kCountingBytes);
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        }
    }
}

namespace {

// The window of `path` read by the window reader (within `budget` when given) and by the
// whole-frame reader; false with the reason when the window reader refuses it.
bool WindowsAgree(const std::string& path, WindowMode mode, MemoryBudget* budget,
                  std::string& error) {
    FrameReader reader;
    reader.hold.setBudget(budget);
    IntPlane window, expected;
    EXPECT_TRUE(AllocIntPlane(256, 256, window, error) && AllocIntPlane(256, 256, expected, error));
    int w = 0, h = 0;
    if (ReadFrameWindow(ParseFrameRef(path), mode, 256, reader, window, w, h, error) !=
        WindowRead::Ok)
        return false;
    EXPECT_FALSE(reader.real);
    Frame frame;
    JpegImage decoder;
    EXPECT_TRUE(LoadFrameForAnalysis(path, ".fits", decoder, frame, error)) << error;
    int x0 = 0, y0 = 0;
    WindowCorner(frame, 256, mode, x0, y0);
    CopyWindow(frame, x0, y0, 256, expected);
    EXPECT_EQ(std::memcmp(window.data(), expected.data(), 256 * 256 * 4), 0);
    return true;
}

}  // namespace

TEST(FitsWindow, CompressedTilesCountInTheBudgetBeforeTheyAreRead) {
    // A bright spot off centre moves the peak-mode window; one tile of the whole image is
    // what a small file can declare and the library decompresses at once.
    auto spot = [](int x, int y, int) {
        return x > 300 && x < 340 && y > 100 && y < 140 ? 20000.0 : double((x * 7 + y) % 90);
    };
    const struct {
        const char* name;
        Written written;
        const char* refusal;  // null: read, equal to the whole-frame reader
    } cases[] = {
        {"one tile",
         {16, 1, 1, 0, true, RICE_1, 640, 512},
         "the 640 x 512 frame, compressed in tiles of 640 x 512 pixels, needs"},
        {"one gzip tile", {32, 1, 1, 0, true, GZIP_1, 640, 512}, "in tiles of 640 x 512 pixels"},
        {"rows", {16, 1, 1, 0, true, RICE_1}, nullptr},
        {"square tiles", {16, 1, 1, 0, true, GZIP_2, 100, 100}, nullptr},
        {"not compressed, 32-bit", {32}, nullptr},
    };
    TempDir dir;
    MemoryBudget budget(std::size_t(4) << 20);
    for (const auto& c : cases) {
        const std::string path = dir.file(std::string(c.name) + ".fits");
        ASSERT_TRUE(WriteWithLibrary(path, c.written, 640, 512, spot)) << c.name;
        for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
            SCOPED_TRACE(std::string(c.name) + (mode == WindowMode::Peak ? " peak" : " centre"));
            std::string error;
            const bool read = WindowsAgree(path, mode, &budget, error);
            EXPECT_EQ(read, c.refusal == nullptr) << error;
            if (!c.refusal) continue;
            EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
            EXPECT_NE(error.find("MB of memory to be read, more than the 4 MB a run may use"),
                      std::string::npos)
                << error;
        }
    }
}

TEST(FitsWindow, UndefinedPixelsCountAsZeroLikeNaN) {
    // BLANK marks undefined pixels of integer images as NaN does in floating ones: both
    // read as 0, in the window reader and in the whole-image readers alike.
    auto marked = [](int x, int y) { return (x + 3 * y) % 5 == 0; };
    const struct {
        const char* name;
        Written written;
        double undefined;
    } cases[] = {
        {"16-bit", {16, 1, 1, 0, false, RICE_1, 0, 0, true}, double(kBlankValue)},
        {"16-bit, BZERO 32768",
         {16, 1, 1, 32768, false, RICE_1, 0, 0, true},
         double(kBlankValue) + 32768},
        {"32-bit", {32, 1, 1, 0, false, RICE_1, 0, 0, true}, double(kBlankValue)},
        {"compressed", {16, 1, 1, 0, true, RICE_1, 0, 0, true}, double(kBlankValue)},
        {"float", {-32}, std::nan("")},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.file(std::string(c.name) + ".fits");
        ASSERT_TRUE(WriteWithLibrary(path, c.written, 300, 280, [&](int x, int y, int) {
            return marked(x, y) ? c.undefined : 40.0 + (x % 7) + c.written.bzero;
        })) << c.name;
        for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
            SCOPED_TRACE(std::string(c.name) + (mode == WindowMode::Peak ? " peak" : " centre"));
            FrameReader reader;
            IntPlane window;
            std::string error;
            ASSERT_TRUE(AllocIntPlane(256, 256, window, error));
            int w = 0, h = 0, x0 = 22, y0 = 12;
            ASSERT_EQ(ReadFrameWindow(ParseFrameRef(path), mode, 256, reader, window, w, h, error),
                      WindowRead::Ok)
                << error;
            if (mode == WindowMode::Peak) {  // the centroid of the defined values
                double s = 0, sx = 0, sy = 0;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const double v = marked(x, y) ? 0 : 40.0 + (x % 7) + c.written.bzero;
                        s += v, sx += v * x, sy += v * y;
                    }
                CornerFromCentroid(s, sx, sy, w, h, 256, x0, y0);
                EXPECT_EQ(EdgeBlocks(reader.border), EdgeBlocksOf(w, h, [&](int x, int y) {
                              return marked(x, y) ? 0 : 40.0 + (x % 7) + c.written.bzero;
                          }));
            }
            int wrong = 0;
            for (int i = 0; i < 256; ++i)
                for (int j = 0; j < 256; ++j)
                    wrong +=
                        window[i][j] !=
                        (marked(x0 + i, y0 + j) ? 0 : 40 + (x0 + i) % 7 + int(c.written.bzero));
            EXPECT_EQ(wrong, 0);
        }
        // The picture's values: every whole-image reader agrees.
        FitsHeader header;
        std::vector<double> values;
        ByteSource source;
        std::string error;
        ASSERT_TRUE(source.open(path, error) && ReadFitsValues(source, header, values, error))
            << error;
        EXPECT_EQ(values[3 * 300 + 1], 0) << c.name;
        IntPlane plane;
        int pw = 0, ph = 0;
        ASSERT_TRUE(ReadFitsFrame(path, plane, pw, ph, error)) << error;
        EXPECT_EQ(plane[1][3], 0) << c.name;
        EXPECT_EQ(plane[2][3], 40 + 2 + int(c.written.bzero)) << c.name;
    }
}

// A centre window that cfitsio reads from an image of the file holding only the header and the
// window's rows equals the window read from the whole file in memory, whatever the kind of
// image and wherever its window's rows lie.
TEST(FitsWindow, AFilesWindowRowsAloneGiveTheWholeFilesWindow) {
    const struct {
        const char* name;
        Written written;
        int width, height;
    } cases[] = {
        {"float", {-32}, 300, 280},           {"double, BSCALE", {-64, 1, 0.5, 3}, 257, 301},
        {"32-bit", {32}, 260, 700},           {"16-bit, BSCALE", {16, 1, 2.5, 100}, 400, 270},
        {"three planes", {-32, 3}, 270, 290},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".fits");
        ASSERT_TRUE(WriteWithLibrary(path, c.written, c.width, c.height, [](int x, int y, int p) {
            return 0.37 * x + 1.1 * y * y + 1000 * p + (x * y % 11) * 0.25;
        }));
        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                              std::istreambuf_iterator<char>());
        FrameReader fromFile, fromMemory;
        IntPlane a, b;
        std::string error;
        ASSERT_TRUE(AllocIntPlane(256, 256, a, error));
        ASSERT_TRUE(AllocIntPlane(256, 256, b, error));
        int w = 0, h = 0;
        ASSERT_EQ(
            ReadFrameWindow(ParseFrameRef(path), WindowMode::Centre, 256, fromFile, a, w, h, error),
            WindowRead::Ok)
            << error;
        ASSERT_EQ(WindowFromMemory(bytes.data(), bytes.size(), ".fits", WindowMode::Centre, 256,
                                   fromMemory, b, w, h, error),
                  WindowRead::Ok)
            << error;
        ASSERT_EQ(fromFile.real, fromMemory.real);
        EXPECT_EQ(fromFile.realWindow, fromMemory.realWindow);
        int differing = 0;
        for (int i = 0; i < 256; ++i)
            for (int j = 0; j < 256; ++j) differing += a[i][j] != b[i][j];
        if (!fromFile.real) EXPECT_EQ(differing, 0);
    }
}
