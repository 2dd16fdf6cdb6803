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

// A 3 x 2 image of one 16- or 32-bit pixel value. Masks (red, green, blue, alpha) go into
// the header from 52 bytes on, after a 40-byte one otherwise; none: no compression field.
std::vector<std::uint8_t> MaskedBmp(int infoSize, int bits, std::vector<std::uint32_t> masks,
                                    std::uint32_t pixel) {
    std::vector<std::uint8_t> b(14 + std::size_t(infoSize), 0);
    b[0] = 'B', b[1] = 'M';
    Set32(b, 14, std::uint32_t(infoSize));
    Set32(b, 18, 3);
    Set32(b, 22, 2);
    b[26] = 1;
    b[28] = std::uint8_t(bits);
    if (!masks.empty()) Set32(b, 30, masks.size() == 4 && infoSize == 40 ? 6 : 3);
    if (infoSize == 40) b.resize(b.size() + 4 * masks.size());
    for (std::size_t i = 0; i < masks.size() && 54 + 4 * i + 4 <= b.size(); ++i)
        Set32(b, 54 + 4 * i, masks[i]);
    Set32(b, 10, std::uint32_t(b.size()));
    const std::size_t rowBytes = (3 * std::size_t(bits) + 31) / 32 * 4;
    for (int y = 0; y < 2; ++y) {
        std::vector<std::uint8_t> row(rowBytes, 0);
        for (int x = 0; x < 3; ++x)
            for (int k = 0; k < bits / 8; ++k)
                row[std::size_t(x * bits / 8 + k)] = std::uint8_t(pixel >> (8 * k));
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
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

TEST(ReadBmp, ChannelMasksOfAnyWidthScaleToTheFullRange) {
    const struct {
        const char* name;
        int infoSize, bits;
        std::vector<std::uint32_t> masks;
        std::uint32_t pixel;
        QRgb colour;
    } cases[] = {
        {"16 bits, no masks: 5-bit white", 40, 16, {}, 0x7fff, qRgb(255, 255, 255)},
        {"16 bits, no masks: 5-bit 16", 40, 16, {}, 16 << 10 | 1 << 5, qRgb(132, 8, 0)},
        {"565", 40, 16, {0xf800, 0x07e0, 0x001f}, 0xffff, qRgb(255, 255, 255)},
        {"3103", 40, 16, {0xe000, 0x1ff8, 0x0007}, 0x4000 | 512 << 3 | 7, qRgb(73, 128, 255)},
        {"1924 with alpha",
         108,
         16,
         {0x7fc0, 0x0030, 0x000f, 0x8000},
         0x7fc0 | 2 << 4,
         qRgb(255, 170, 0)},
        {"111110",
         40,
         32,
         {0xffe00000, 0x001ffc00, 0x000003ff},
         0xffe00000u | 1023u,
         qRgb(255, 0, 255)},
        {"1010102",
         124,
         32,
         {0x3ff00000, 0x000ffc00, 0x000003ff, 0xc0000000},
         0xc0000000u | 512u << 10 | 1023u,
         qRgb(0, 128, 255)},
        {"7187",
         40,
         32,
         {0xfe000000, 0x01ffff80, 0x0000007f},
         0x01ffff80u | 64u,
         qRgb(0, 255, 129)},
        {"61754",
         124,
         32,
         {0xfc000000, 0x03fffe00, 0x000001f0, 0x0000000f},
         0xfc000000u | 0xf,
         qRgb(255, 0, 0)},
        {"81284 with alpha masks after the header",
         40,
         32,
         {0xff000000, 0x00fff000, 0x00000ff0, 0x0000000f},
         0x00fff000u,
         qRgb(0, 255, 0)},
        {"plain 32 bits", 40, 32, {0xff0000, 0xff00, 0xff}, 0x123456, qRgb(0x12, 0x34, 0x56)},
        {"52-byte header",
         52,
         32,
         {0x3ff00000, 0x000ffc00, 0x000003ff},
         1023u << 20,
         qRgb(255, 0, 0)},
        {"56-byte header", 56, 16, {0xf800, 0x07e0, 0x001f, 0}, 0x07e0, qRgb(0, 255, 0)},
        {"56-byte header, no masks", 56, 24, {}, 0x010203, qRgb(1, 2, 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bytes = MaskedBmp(c.infoSize, c.bits, c.masks, c.pixel);
        QImage image;
        std::string error;
        ASSERT_TRUE(ReadBmp(bytes.data(), bytes.size(), image, error)) << error;
        EXPECT_EQ(image.size(), QSize(3, 2));
        EXPECT_EQ(image.pixel(2, 1), c.colour) << std::hex << image.pixel(2, 1);
    }
    // Masks that are not one run of bits, or lie outside the pixel, are refused.
    for (const auto& masks : std::vector<std::vector<std::uint32_t>>{{0xf00f, 0x07e0, 0x001f},
                                                                     {0x1f0000, 0x07e0, 0x001f}}) {
        const auto bytes = MaskedBmp(40, 16, masks, 0);
        QImage image;
        std::string error;
        EXPECT_FALSE(ReadBmp(bytes.data(), bytes.size(), image, error));
        EXPECT_NE(error.find("the BMP's red mask"), std::string::npos) << error;
    }
}

TEST(ReadBmp, DamagedRunLengthDataAreRefused) {
    // 4 x 3 images; each stream is cut or damaged in one way.
    const struct {
        const char* name;
        int bits;
        std::vector<std::uint8_t> data;
        const char* reason;  // null: read
    } cases[] = {
        {"intact", 8, {4, 1, 0, 0, 2, 2, 0, 2, 1, 0, 1, 5, 0, 0, 0, 3, 9, 8, 7, 0, 0, 1}, nullptr},
        {"rows complete, no end mark", 8, {4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 0}, nullptr},
        {"intact, 4 bits", 4, {4, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1}, nullptr},
        {"run past the row", 8, {6, 1, 0, 1}, "a run goes past the end of its row"},
        {"literal past the row",
         8,
         {0, 5, 1, 2, 3, 4, 5, 0, 0, 1},
         "a run goes past the end of its row"},
        {"run past the row on a later row",
         4,
         {0, 0, 5, 0x11, 0, 1},
         "a run goes past the end of its row"},
        {"past the image",
         8,
         {4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 0, 4, 1, 0, 1},
         "pixels go on past the image"},
        {"move past the row", 8, {0, 2, 5, 0, 0, 1}, "a move goes past the image"},
        {"move past the image", 8, {0, 2, 0, 3, 0, 1}, "a move goes past the image"},
        {"cut inside a literal", 8, {0, 4, 1, 2}, "the data end inside a command"},
        {"cut inside a run", 8, {4}, "the data end inside a command"},
        {"cut before the image ends", 8, {4, 1, 0, 0}, "the data end before the image does"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> b(54, 0);
        b[0] = 'B', b[1] = 'M';
        Set32(b, 14, 40);
        Set32(b, 18, 4);
        Set32(b, 22, 3);
        b[26] = 1;
        b[28] = std::uint8_t(c.bits);
        Set32(b, 30, c.bits == 8 ? 1 : 2);
        b.resize(b.size() + (std::size_t(1) << c.bits) * 4, 0x40);
        Set32(b, 10, std::uint32_t(b.size()));
        b.insert(b.end(), c.data.begin(), c.data.end());
        QImage image;
        std::string error;
        EXPECT_EQ(ReadBmp(b.data(), b.size(), image, error), c.reason == nullptr) << error;
        if (c.reason) {
            EXPECT_NE(error.find(std::string("damaged run-length data: ") + c.reason),
                      std::string::npos)
                << error;
        }
    }
}
