#include "fits_general.h"
#include "fits_library_writer.h"
#include "fits_reader.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <zlib.h>

using namespace framesifter;

namespace {

bool ReadValues(const std::string& path, FitsHeader& header, std::vector<double>& values,
                std::string& error) {
    ByteSource source;
    return source.open(path, error) && ReadFitsValues(source, header, values, error);
}

}  // namespace

TEST(FitsGeneral, EveryDepthScaleAndPlaneReadsAsPhysicalValues) {
    TempDir dir;
    const int w = 5, h = 3;
    struct Case {
        const char* name;
        Written written;
        std::function<double(int, int, int)> value;
        int plane;  // the plane expected
        bool fast;  // the 16-bit path takes it
    };
    const Case cases[] = {
        {"8-bit.fit", {8}, [](int x, int y, int) { return 200 + x - 10 * y; }, 0, false},
        {"scaled.fits",
         {16, 1, 2, 100},
         [](int x, int y, int) { return 100 + 2 * (x - 7 * y); },
         0,
         false},
        {"half zero.fits", {16, 1, 1, 0.5}, [](int x, int, int) { return x - 2.5; }, 0, false},
        {"bzero 1000.fit",
         {16, 1, 1, 1000},
         [](int x, int y, int) { return 1000 - 40 * x + y; },
         0,
         true},
        {"past the fold.fit",
         {16, 1, 1, 2147450881},
         [](int x, int, int) { return 2147450881.0 - x; },
         0,
         false},
        {"32-bit.fts", {32}, [](int x, int y, int) { return 100000.0 * x - 7 * y; }, 0, false},
        {"unsigned 32-bit.fts",
         {32, 1, 1, 2147483648.0},
         [](int x, int, int) { return 4000000000.0 + x; },
         0,
         false},
        {"float.fits", {-32}, [](int x, int y, int) { return 0.25 * x - y; }, 0, false},
        {"double.fits", {-64}, [](int x, int y, int) { return 1e-3 * x + 1e6 * y; }, 0, false},
        {"rgb.fits", {16, 3}, [](int x, int, int p) { return 1000 * p + x; }, 1, false},
        {"two planes.fits", {16, 2}, [](int x, int, int p) { return 1000 * p + x; }, 0, false},
        {"tiles.fz", {16, 1, 1, 0, true}, [](int x, int y, int) { return 30 * x - y; }, 0, false},
        // Names the library would otherwise read as a filter or an extension number.
        {"a[1]+b.fits", {-32}, [](int x, int, int) { return x + 0.5; }, 0, false},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(c.name);
        ASSERT_TRUE(WriteWithLibrary(path, c.written, w, h, c.value)) << c.name;
        FitsHeader header;
        std::vector<double> values;
        std::string error;
        ASSERT_TRUE(ReadValues(path, header, values, error)) << c.name << ": " << error;
        EXPECT_EQ(header.fast, c.fast) << c.name;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                EXPECT_EQ(values[std::size_t(y * w + x)], c.value(x, y, c.plane))
                    << c.name << " at " << x << "," << y;
        // Whole numbers within int also come through the plane reader, fast path or not.
        IntPlane plane;
        int pw = 0, ph = 0;
        const bool whole = AllIntegers(values.data(), values.size());
        ASSERT_EQ(ReadFitsFrame(path, plane, pw, ph, error), whole) << c.name << ": " << error;
        if (whole) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    EXPECT_EQ(plane[x][y], c.value(x, y, c.plane)) << c.name;
        }
    }
}

TEST(FitsGeneral, DamagedFilesAreRefusedWithAReason) {
    TempDir dir;
    auto ramp = [](int x, int y, int) { return double((x * 7919 + y * 104729) % 30000); };
    const std::string cut = dir.file("cut.fits");
    ASSERT_TRUE(WriteWithLibrary(cut, {-32}, 300, 300, ramp));
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 5000);
    const std::string tiles = dir.file("broken.fz");
    ASSERT_TRUE(WriteWithLibrary(tiles, {16, 1, 1, 0, true}, 300, 300, ramp));
    {
        // A compression the library does not know: the header checks pass, the read fails.
        std::fstream f(tiles, std::ios::in | std::ios::out | std::ios::binary);
        std::string head(2880 * 2, ' ');
        f.read(head.data(), std::streamsize(head.size()));
        const std::size_t at = head.find("'RICE_1");
        ASSERT_NE(at, std::string::npos);
        f.seekp(std::streamoff(at));
        f.write("'NOPE_1", 7);
    }
    // One tile declared 16000 x 16000 by a small file: refused from the header.
    const std::string bomb = dir.file("bomb.fz");
    ASSERT_TRUE(WriteWithLibrary(bomb, {16, 1, 1, 0, true, RICE_1, 300, 300}, 300, 300, ramp));
    {
        std::fstream f(bomb, std::ios::in | std::ios::out | std::ios::binary);
        std::string head(2880 * 2, ' ');
        f.read(head.data(), std::streamsize(head.size()));
        for (const char* key : {"ZNAXIS1 =", "ZNAXIS2 =", "ZTILE1  =", "ZTILE2  ="}) {
            const std::size_t at = head.find(key);
            ASSERT_NE(at, std::string::npos) << key;
            f.seekp(std::streamoff(at + 10));
            f.write("               16000", 20);
        }
    }
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {{cut, "truncated"},
                 {tiles, ": error uncompressing image"},
                 {bomb, "the image, compressed in tiles of 16000 x 16000 pixels, needs "}};
    for (const auto& c : cases) {
        FitsHeader header;
        std::vector<double> values;
        std::string error;
        EXPECT_FALSE(ReadValues(c.path, header, values, error)) << c.path;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.path << ": " << error;
    }
}

TEST(FitsGeneral, TilesWhoseStreamsHoldMoreThanTheirPixelsAreRefused) {
    // The library would grow its buffer for all a gzip stream holds, and trusts the size an
    // HCOMPRESS stream names for itself.
    std::vector<unsigned char> zeros;
    {
        z_stream z{};
        ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY), Z_OK);
        std::vector<unsigned char> in(std::size_t(1) << 20), out(std::size_t(1) << 20);
        for (int k = 0; k < 64; ++k) {  // 64 MB of zeros
            z.next_in = in.data();
            z.avail_in = uInt(in.size());
            do {
                z.next_out = out.data();
                z.avail_out = uInt(out.size());
                deflate(&z, k == 63 ? Z_FINISH : Z_NO_FLUSH);
                zeros.insert(zeros.end(), out.data(), out.data() + (out.size() - z.avail_out));
            } while (z.avail_out == 0);
        }
        deflateEnd(&z);
    }
    const struct {
        const char* name;
        int compression;
        std::function<void(std::vector<unsigned char>&)> change;
        const char* reason;  // null: read
    } cases[] = {
        {"gzip, intact", GZIP_1, [](auto&) {}, nullptr},
        {"gzip, inflating to 64 MB", GZIP_1, [&](auto& b) { b = zeros; }, "a compressed tile of "},
        {"hcompress, intact", HCOMPRESS_1, [](auto&) {}, nullptr},
        {"hcompress, naming a larger size", HCOMPRESS_1, [](auto& b) { b[3] = 0x10; },
         "a compressed tile claims 1048596 x 100 pixels, more than its 2000"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".fits");
        Written written{16, 1, 1, 0, true, c.compression, 100, 20};
        ASSERT_TRUE(WriteWithLibrary(path, written, 300, 60,
                                     [](int x, int y, int) { return double(x + y); }));
        ASSERT_TRUE(RewriteTile(path, 2, c.change));
        FitsHeader header;
        std::vector<double> values;
        std::string error;
        EXPECT_EQ(ReadValues(path, header, values, error), c.reason == nullptr) << error;
        if (c.reason) {
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        }
    }
}
