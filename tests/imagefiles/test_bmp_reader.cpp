#include "bmp_reader.h"
#include "frame_test_images.h"
#include "pipe_reader.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <future>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace framesifter;

namespace {

std::vector<std::uint8_t> Valid8() {
    std::vector<Bgr> palette(256, Bgr{1, 2, 3});
    palette[0] = Bgr{30, 20, 10};
    return MakeBmp8(64, 48, palette, std::vector<std::uint8_t>(64 * 48, 7));
}

void Set32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

}  // namespace

TEST(ReadBmp, RefusesHeadersItCannotReadCompletely) {
    const struct {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        const char* reason;
    } cases[] = {
        {"not BMP", [](auto& b) { b[0] = 'X'; }, "not a BMP file"},
        {"header size of letters", [](auto& b) { Set32(b, 14, 0x4d4d4f43); },
         "unknown BMP header size"},
        {"header cut off", [](auto& b) { b.resize(40); }, "the BMP header is cut off"},
        {"zero width", [](auto& b) { Set32(b, 18, 0); }, "BMP size 0 x 48"},
        {"huge",
         [](auto& b) {
             Set32(b, 18, 20000);
             Set32(b, 22, 20000);
         },
         "image too large"},
        {"seven bits", [](auto& b) { b[28] = 7; }, "unsupported BMP depth"},
        {"embedded JPEG", [](auto& b) { Set32(b, 30, 4); }, "unsupported BMP compression 4"},
        {"run length at 24 bits",
         [](auto& b) {
             b[28] = 24;
             Set32(b, 30, 1);
         },
         "unsupported BMP compression 1"},
        {"data offset past the end", [](auto& b) { Set32(b, 10, 1u << 30); },
         "lies outside the file"},
        {"rows missing", [](auto& b) { b.resize(b.size() - 100); }, "truncated"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto bytes = Valid8();
        c.damage(bytes);
        QImage image;
        std::string error;
        EXPECT_FALSE(ReadBmp(bytes.data(), bytes.size(), image, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(ReadBmp, RunLengthDataThatStopsEarlyLeavesColourZero) {
    // An 8-bit run-length image whose data end at once: Qt's reader writes no pixel. They
    // must come out as palette entry 0, whatever the memory held before.
    auto bytes = Valid8();
    bytes.resize(14 + 40 + 256 * 4);
    Set32(bytes, 30, 1);  // BI_RLE8
    bytes.push_back(0);
    bytes.push_back(1);  // end of bitmap
    Set32(bytes, 2, std::uint32_t(bytes.size()));
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        Set32(bytes, 22, std::uint32_t(round % 2 ? -48 : 48));  // top row first, or last
        {
            // Leave a dirty block of the image's size on the heap for the reader to get.
            std::vector<std::uint8_t> dirt(64 * 48, 0xAB);
            std::memset(dirt.data(), 0xAB + round, dirt.size());
        }
        QImage image;
        std::string error;
        ASSERT_TRUE(ReadBmp(bytes.data(), bytes.size(), image, error)) << error;
        EXPECT_EQ(image.format(), QImage::Format_Indexed8);
        int others = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) others += image.pixelIndex(x, y) != 0;
        EXPECT_EQ(others, 0);
        EXPECT_EQ(image.pixel(5, 5), qRgb(10, 20, 30));
    }
}

TEST(ReadBmp, KeepsThePaletteFormat) {
    const auto bytes = Valid8();
    QImage image;
    std::string error;
    ASSERT_TRUE(ReadBmp(bytes.data(), bytes.size(), image, error)) << error;
    EXPECT_EQ(image.format(), QImage::Format_Indexed8);
    EXPECT_EQ(image.size(), QSize(64, 48));
    EXPECT_EQ(image.pixel(0, 0), qRgb(3, 2, 1));
}

TEST(ReadBmp, APipeNamedLikeABitmapIsRefusedWithoutWaiting) {
    TempDir dir;
    QImage image;
    std::string error;
    EXPECT_FALSE(ReadPipeWithoutWaiting(dir.file("frame.bmp"), [&](const std::string& path) {
        return ReadBmpFile(path, image, error);
    }));
    EXPECT_EQ(error, "not a regular file");
}
