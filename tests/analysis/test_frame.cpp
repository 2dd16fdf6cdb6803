#include "frame.h"

#include "fits_writer.h"
#include "frame_test_images.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace framesifter;

namespace {

// 5 x 3 distinct colours: 15 bytes a row, so BMP rows carry one byte of padding.
std::vector<Bgr> SmallPicture() {
    std::vector<Bgr> pixels;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            pixels.push_back({std::uint8_t(10 * x + 1), std::uint8_t(50 + 60 * y + x),
                              std::uint8_t(200 - 7 * x - 3 * y)});
        }
    }
    return pixels;
}

std::vector<std::uint8_t> AsBytes(const std::vector<Bgr>& pixels) {
    std::vector<std::uint8_t> bytes;
    for (const Bgr& p : pixels) bytes.insert(bytes.end(), {p.b, p.g, p.r});
    return bytes;
}

// A 32 x 16 JPEG, left half pure green and right half pure red, at high quality.
std::vector<std::uint8_t> GreenRedJpeg() {
    std::vector<std::uint8_t> bgr;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (x < 16)
                bgr.insert(bgr.end(), {0, 255, 0});
            else
                bgr.insert(bgr.end(), {0, 0, 255});
        }
    }
    std::string error;
    std::vector<std::uint8_t> file;
    EXPECT_TRUE(JpegImage::encode(bgr.data(), 32, 16, 32 * 3, 95, file, error)) << error;
    return file;
}

bool Load(const std::string& path, JpegImage& decoder, Frame& frame, std::string& error) {
    return LoadFrameForAnalysis(path, FileExtension(path), decoder, frame, error);
}

}  // namespace

TEST(LoadFrameForAnalysis, BmpPixelsArriveTopRowFirstAsBgr) {
    TempDir dir;
    const std::vector<Bgr> pixels = SmallPicture();
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down file" : "bottom-up file");
        const std::string path = dir.write("small.bmp", MakeBmp24(5, 3, pixels, topDown));
        JpegImage decoder;
        Frame frame;
        std::string error;
        ASSERT_TRUE(Load(path, decoder, frame, error)) << error;
        EXPECT_EQ(frame.kind, FrameKind::Bitmap);
        EXPECT_EQ(frame.width, 5);
        EXPECT_EQ(frame.height, 3);
        EXPECT_EQ(frame.bgr, AsBytes(pixels));
        EXPECT_EQ(frame.green(4, 2), pixels[2 * 5 + 4].g);
    }
}

TEST(LoadFrameForAnalysis, PaletteBmpTakesItsPaletteColours) {
    TempDir dir;
    const std::vector<Bgr> palette = {{0, 0, 0}, {10, 77, 200}, {255, 254, 253}, {3, 140, 9}};
    std::vector<std::uint8_t> indices(6 * 4);
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = std::uint8_t((i * 3 + i / 6) % 4);
    const std::string path = dir.write("palette.bmp", MakeBmp8(6, 4, palette, indices));

    JpegImage decoder;
    Frame frame;
    std::string error;
    ASSERT_TRUE(Load(path, decoder, frame, error)) << error;
    ASSERT_EQ(frame.width, 6);
    ASSERT_EQ(frame.height, 4);
    std::vector<Bgr> expected;
    for (std::uint8_t index : indices) expected.push_back(palette[index]);
    EXPECT_EQ(frame.bgr, AsBytes(expected));
    EXPECT_EQ(frame.green(1, 0), palette[indices[1]].g);
}

TEST(LoadFrameForAnalysis, ExtensionsReadAsTheirFormatInAnyCase) {
    TempDir dir;
    const std::vector<Bgr> pixels = SmallPicture();
    const auto bmp = MakeBmp24(5, 3, pixels);
    const auto jpeg = GreenRedJpeg();
    const struct {
        const char* name;
        bool isJpeg;
    } cases[] = {
        {"a.bmp", false}, {"a.BMP", false}, {"a.Bmp", false}, {"a.bMp", false}, {"b.jpg", true},
        {"b.JPG", true},  {"b.Jpg", true},  {"b.jpeg", true}, {"b.JPEG", true}, {"b.Jpeg", true},
    };
    JpegImage decoder;
    Frame frame;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.write(c.name, c.isJpeg ? jpeg : bmp);
        std::string error;
        ASSERT_TRUE(Load(path, decoder, frame, error)) << error;
        EXPECT_EQ(frame.kind, FrameKind::Bitmap);
        if (c.isJpeg) {
            ASSERT_EQ(frame.width, 32);
            ASSERT_EQ(frame.height, 16);
            // Green in the left half, red (with little green) in the right.
            EXPECT_GT(frame.green(4, 8), 240);
            EXPECT_LT(frame.green(27, 8), 15);
            EXPECT_GT(frame.bgr[(8 * 32 + 27) * 3 + 2], 240);
        } else {
            EXPECT_EQ(frame.width, 5);
            EXPECT_EQ(frame.bgr, AsBytes(pixels));
        }
    }
}

TEST(LoadFrameForAnalysis, FailuresGiveAReasonAndLeaveAnEmptyFrame) {
    TempDir dir;
    const auto bmp = MakeBmp24(5, 3, SmallPicture());
    const auto jpeg = GreenRedJpeg();
    const std::string good = dir.write("good.bmp", bmp);

    std::vector<std::uint8_t> hugeBmp = MakeBmp24(2, 2, std::vector<Bgr>(4, Bgr{1, 2, 3}));
    for (int i = 0; i < 4; ++i) {
        hugeBmp[18 + i] = std::uint8_t(20000 >> (8 * i));  // width
        hugeBmp[22 + i] = std::uint8_t(20000 >> (8 * i));  // height
    }
    const std::vector<std::uint8_t> cutBmp(bmp.begin(), bmp.begin() + 60);
    const std::vector<std::uint8_t> cutJpeg(jpeg.begin(), jpeg.begin() + long(jpeg.size() / 2));

    const struct {
        const char* name;
        const std::vector<std::uint8_t>* bytes;  // nullptr: no such file
        const char* reason;                      // the start of the reason
    } cases[] = {
        {"frame.png", &bmp, "not a BMP, JPEG or FITS file name"},
        {"frame", &bmp, "not a BMP, JPEG or FITS file name"},
        {"frame.bmp.txt", &bmp, "not a BMP, JPEG or FITS file name"},
        {"absent.bmp", nullptr, "cannot open: No such file or directory"},
        {"absent.JPG", nullptr, "cannot open: No such file or directory"},
        {"folder.jpg", nullptr, "cannot open: "},
        {"folder.bmp", nullptr, "cannot open: "},
        {"jpeg-named.bmp", &jpeg, "not a BMP file"},
        {"cut.bmp", &cutBmp, "truncated: 60 of 102 bytes present"},
        {"huge.bmp", &hugeBmp, "image too large: 20000 x 20000"},
        {"bmp-named.jpg", &bmp, "not a JPEG file: Not a JPEG file: starts with 0x42 0x4d"},
        {"cut.jpeg", &cutJpeg, "cannot decode JPEG: Premature end of JPEG file"},
    };
    JpegImage decoder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.bytes ? dir.write(c.name, *c.bytes) : dir.file(c.name);
        if (std::string(c.name).rfind("folder", 0) == 0) std::filesystem::create_directory(path);
        Frame frame;
        std::string error;
        ASSERT_TRUE(Load(good, decoder, frame, error)) << error;

        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(Load(path, decoder, frame, error));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(error.rfind(c.reason, 0), 0u) << error;
        EXPECT_EQ(frame.kind, FrameKind::None);
        EXPECT_EQ(frame.width, 0);
        EXPECT_EQ(frame.height, 0);
        EXPECT_TRUE(frame.bgr.empty());
        EXPECT_TRUE(frame.plane.empty());
    }
}

TEST(LoadFrameForAnalysis, FitsInAnyCaseGivesThePlane) {
    TempDir dir;
    const std::uint16_t values[] = {0, 1, 32767, 32768, 65535, 1234};  // 3 x 2, row 0 first
    std::string error;
    const std::string written = dir.file("written.fits");
    ASSERT_TRUE(WriteFits16(written, values, 3, 2, error)) << error;
    const auto bytes = ReadAll(written);

    JpegImage decoder;
    for (const char* name : {"f.fits", "f.FIT", "f.Fts", "f.FITS"}) {
        SCOPED_TRACE(name);
        const std::string path = dir.write(name, bytes);
        Frame frame;
        ASSERT_TRUE(Load(path, decoder, frame, error)) << error;
        EXPECT_EQ(frame.kind, FrameKind::Fits);
        ASSERT_EQ(frame.width, 3);
        ASSERT_EQ(frame.height, 2);
        EXPECT_TRUE(frame.bgr.empty());
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(frame.plane[x][y], values[y * 3 + x]) << x << "," << y;
        }
    }

    // A cut file after a good one: refused, and the earlier plane is gone.
    const std::string cut =
        dir.write("cut.fit", std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 2880));
    Frame frame;
    ASSERT_TRUE(Load(dir.file("f.fits"), decoder, frame, error)) << error;
    EXPECT_FALSE(Load(cut, decoder, frame, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(frame.kind, FrameKind::None);
    EXPECT_TRUE(frame.plane.empty());
}
