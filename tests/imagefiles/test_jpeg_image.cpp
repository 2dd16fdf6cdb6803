#include "jpeg_image.h"

#include "frame_test_images.h"
#include "pipe_reader.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <jpeglib.h>
#include <functional>
#include <future>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace framesifter;

namespace {

struct TestPicture {
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    std::vector<std::uint8_t> bgr;
    const std::uint8_t* at(int x, int y) const { return bgr.data() + stride * y + 3 * x; }
};

// Smooth gradients (so JPEG keeps them closely) with `padding` extra bytes after each row.
TestPicture Gradient(int width, int height, std::size_t padding = 0) {
    TestPicture p;
    p.width = width;
    p.height = height;
    p.stride = std::size_t(width) * 3 + padding;
    p.bgr.assign(p.stride * height, 0xEE);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = p.bgr.data() + p.stride * y + 3 * x;
            px[0] = std::uint8_t(40 + 160 * x / width);
            px[1] = std::uint8_t(30 + 180 * y / height);
            px[2] = std::uint8_t(200 - 120 * (x + y) / (width + height));
        }
    }
    return p;
}

std::vector<std::uint8_t> SaveToBytes(const TestPicture& p, int quality) {
    std::vector<std::uint8_t> file;
    std::string error;
    EXPECT_TRUE(JpegImage::encode(p.bgr.data(), p.width, p.height, p.stride, quality, file, error))
        << error;
    return file;
}

// Marker segments before the first scan: marker code -> payloads (length field removed).
std::multimap<int, std::vector<std::uint8_t>> HeaderSegments(const std::vector<std::uint8_t>& f) {
    std::multimap<int, std::vector<std::uint8_t>> segments;
    if (f.size() < 4 || f[0] != 0xFF || f[1] != 0xD8) return segments;
    std::size_t pos = 2;
    while (pos + 4 <= f.size() && f[pos] == 0xFF) {
        const int marker = f[pos + 1];
        const std::size_t length = std::size_t(f[pos + 2]) << 8 | f[pos + 3];
        if (length < 2 || pos + 2 + length > f.size()) break;
        segments.emplace(marker, std::vector<std::uint8_t>(f.begin() + long(pos) + 4,
                                                           f.begin() + long(pos + 2 + length)));
        if (marker == 0xDA) break;
        pos += 2 + length;
    }
    return segments;
}

}  // namespace

TEST(JpegImage, RoundTripKeepsSizeAndPixels) {
    // A padded stride checks that rows are taken from where the caller says they start.
    for (std::size_t padding : {std::size_t(0), std::size_t(5)}) {
        SCOPED_TRACE(padding);
        const TestPicture source = Gradient(97, 61, padding);
        const std::vector<std::uint8_t> file = SaveToBytes(source, 90);
        JpegImage image;
        std::string imageError;
        ASSERT_TRUE(image.loadMemory(file.data(), file.size(), imageError)) << imageError;
        ASSERT_EQ(image.width(), 97);
        ASSERT_EQ(image.height(), 61);
        ASSERT_EQ(image.bgr().size(), image.stride() * 61);
        double sum = 0;
        int worst = 0;
        for (int y = 0; y < 61; ++y) {
            for (int x = 0; x < 97; ++x) {
                for (int c = 0; c < 3; ++c) {
                    const int d = std::abs(int(image.bgr()[image.stride() * y + 3 * x + c]) -
                                           int(source.at(x, y)[c]));
                    sum += d;
                    worst = std::max(worst, d);
                }
            }
        }
        EXPECT_LT(sum / (97 * 61 * 3), 2.0);
        EXPECT_LT(worst, 16);
    }
}

TEST(JpegImage, ChannelsKeepTheirOrder) {
    // Pure colours in 16 x 16 blocks (one chroma block each), checked in their middles.
    const Bgr colours[] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
    TestPicture p;
    p.width = 64;
    p.height = 16;
    p.stride = 64 * 3;
    p.bgr.resize(p.stride * 16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 64; ++x) {
            const Bgr& c = colours[x / 16];
            std::uint8_t* px = p.bgr.data() + p.stride * y + 3 * x;
            px[0] = c.b;
            px[1] = c.g;
            px[2] = c.r;
        }
    }
    const std::vector<std::uint8_t> file = SaveToBytes(p, 95);
    JpegImage image;
    std::string imageError;
    ASSERT_TRUE(image.loadMemory(file.data(), file.size(), imageError)) << imageError;
    for (int block = 0; block < 4; ++block) {
        const std::uint8_t* px = image.bgr().data() + image.stride() * 8 + 3 * (block * 16 + 8);
        EXPECT_NEAR(px[0], colours[block].b, 12) << "block " << block;
        EXPECT_NEAR(px[1], colours[block].g, 12) << "block " << block;
        EXPECT_NEAR(px[2], colours[block].r, 12) << "block " << block;
    }
}

TEST(JpegImage, WritesBaselineColourAtTheGivenQuality) {
    // IJG's example tables (ITU-T T.81 K.1), natural order.
    static const int kLuminance[64] = {
        16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
        14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
        18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
        49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    static const int kChrominance[64] = {
        17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
        99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
        99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
    // Position in natural order of the k-th coefficient in the file's zigzag order.
    static const int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

    for (int quality : {70, 30}) {
        SCOPED_TRACE(quality);
        const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
        const auto file = SaveToBytes(Gradient(40, 24), quality);
        const auto segments = HeaderSegments(file);

        EXPECT_EQ(segments.count(0xC0), 1u) << "no baseline SOF0";
        for (int sof : {0xC1, 0xC2, 0xC3, 0xC9, 0xCA}) EXPECT_EQ(segments.count(sof), 0u) << sof;
        auto sof0 = segments.find(0xC0);
        ASSERT_NE(sof0, segments.end());
        ASSERT_GE(sof0->second.size(), 6u);
        EXPECT_EQ(sof0->second[0], 8) << "sample precision";
        EXPECT_EQ((sof0->second[1] << 8) | sof0->second[2], 24);
        EXPECT_EQ((sof0->second[3] << 8) | sof0->second[4], 40);
        EXPECT_EQ(sof0->second[5], 3) << "colour: three components";

        std::map<int, std::vector<int>> tables;
        for (auto it = segments.lower_bound(0xDB); it != segments.upper_bound(0xDB); ++it) {
            const auto& d = it->second;
            for (std::size_t pos = 0; pos + 65 <= d.size(); pos += 65) {
                ASSERT_EQ(d[pos] >> 4, 0) << "8-bit table entries in a baseline file";
                tables[d[pos] & 15].assign(d.begin() + long(pos) + 1, d.begin() + long(pos) + 65);
            }
        }
        ASSERT_EQ(tables.count(0), 1u);
        ASSERT_EQ(tables.count(1), 1u);
        for (int k = 0; k < 64; ++k) {
            const int n = kZigzag[k];
            const int luma = std::clamp((kLuminance[n] * scale + 50) / 100, 1, 255);
            const int chroma = std::clamp((kChrominance[n] * scale + 50) / 100, 1, 255);
            EXPECT_EQ(tables[0][k], luma) << "luminance entry " << n;
            EXPECT_EQ(tables[1][k], chroma) << "chrominance entry " << n;
        }
    }
}

TEST(JpegImage, GreyscaleLoadsAsEqualBgr) {
    std::vector<std::uint8_t> grey(48 * 32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 48; ++x) grey[y * 48 + x] = std::uint8_t(20 + 4 * x);
    }
    const auto file = EncodeJpegWithLibjpeg(48, 32, 1, JCS_GRAYSCALE, grey, 95);
    JpegImage image;
    std::string imageError;
    ASSERT_TRUE(image.loadMemory(file.data(), file.size(), imageError)) << imageError;
    ASSERT_EQ(image.width(), 48);
    ASSERT_EQ(image.height(), 32);
    ASSERT_EQ(image.bgr().size(), std::size_t(48 * 32 * 3));
    for (int y = 0; y < 32; y += 7) {
        for (int x = 0; x < 48; x += 5) {
            const std::uint8_t* px = image.bgr().data() + image.stride() * y + 3 * x;
            EXPECT_EQ(px[0], px[1]);
            EXPECT_EQ(px[2], px[1]);
            EXPECT_NEAR(px[1], grey[y * 48 + x], 3) << x << "," << y;
        }
    }
}

TEST(JpegImage, BadInputGivesReasonAndLeavesDecoderUsable) {
    const auto good = SaveToBytes(Gradient(64, 64), 70);
    const std::size_t scanStart = [&] {
        // Offset of the first entropy-coded byte: after the SOS segment.
        std::size_t pos = 2;
        while (good[pos + 1] != 0xDA) pos += 2 + (std::size_t(good[pos + 2]) << 8 | good[pos + 3]);
        return pos + 2 + (std::size_t(good[pos + 2]) << 8 | good[pos + 3]);
    }();
    ASSERT_LT(scanStart + 40, good.size());

    auto withSize = [&](int width, int height) {
        std::vector<std::uint8_t> f = good;
        std::size_t pos = 2;
        while (f[pos + 1] != 0xC0) pos += 2 + (std::size_t(f[pos + 2]) << 8 | f[pos + 3]);
        f[pos + 5] = std::uint8_t(height >> 8);
        f[pos + 6] = std::uint8_t(height);
        f[pos + 7] = std::uint8_t(width >> 8);
        f[pos + 8] = std::uint8_t(width);
        return f;
    };
    std::vector<std::uint8_t> badCode = good;
    std::fill(badCode.begin() + long(scanStart) + 10, badCode.begin() + long(scanStart) + 30, 0xFF);
    badCode[scanStart + 30] = 0xD3;  // an unexpected restart marker inside the data
    std::vector<std::uint8_t> twoColours(16 * 16 * 2, 128);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"empty", {}, "not a JPEG file: Empty input file"},
        {"bmp", MakeBmp24(2, 2, {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}}),
         "not a JPEG file: Not a JPEG file: starts with 0x42 0x4d"},
        {"only SOI", {0xFF, 0xD8}, "cannot decode JPEG: "},
        {"header cut", std::vector<std::uint8_t>(good.begin(), good.begin() + 100),
         "cannot decode JPEG: "},
        {"data cut", std::vector<std::uint8_t>(good.begin(), good.begin() + long(scanStart) + 40),
         "cannot decode JPEG: Premature end of JPEG file"},
        {"bad data", badCode, "cannot decode JPEG: Corrupt JPEG data"},
        {"huge", withSize(30000, 20000), "image too large: 30000 x 20000"},
        {"zero width", withSize(0, 64), "cannot decode JPEG: "},
        {"two colour components", EncodeJpegWithLibjpeg(16, 16, 2, JCS_UNKNOWN, twoColours),
         "a JPEG of 2 colour components of no known kind, which is not supported"},
    };
    TempDir dir;
    JpegImage decoder;
    std::string decoderError;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.write(std::string(c.name) + ".jpg", c.bytes);
        for (bool fromFile : {false, true}) {
            SCOPED_TRACE(fromFile ? "file" : "memory");
            const auto start = std::chrono::steady_clock::now();
            const bool ok = fromFile
                                ? decoder.loadFile(path, decoderError)
                                : decoder.loadMemory(c.bytes.data(), c.bytes.size(), decoderError);
            EXPECT_FALSE(ok);
            EXPECT_EQ(decoderError.rfind(c.reason, 0), 0u) << decoderError;
            EXPECT_EQ(decoder.width(), 0);
            EXPECT_EQ(decoder.height(), 0);
            EXPECT_TRUE(decoder.bgr().empty());
            // Refused from the header, not after decoding or allocating for it.
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
            ASSERT_TRUE(decoder.loadMemory(good.data(), good.size(), decoderError)) << decoderError;
            EXPECT_EQ(decoder.width(), 64);
        }
    }
}

TEST(JpegImage, MissingFileAndImagesThatCannotBeEncoded) {
    TempDir dir;
    JpegImage decoder;
    std::string decoderError;
    EXPECT_FALSE(decoder.loadFile(dir.file("absent.jpg"), decoderError));
    EXPECT_EQ(decoderError, "cannot open: No such file or directory");

    const TestPicture p = Gradient(8, 8);
    struct Case {
        int quality;
        std::size_t stride;
        const char* reason;
    };
    const Case cases[] = {
        {0, p.stride, "cannot write JPEG: quality 0 is not in 1..100"},
        {101, p.stride, "cannot write JPEG: quality 101 is not in 1..100"},
        {70, 23, "cannot write JPEG: invalid image of 8 x 8 pixels"},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> file;
        std::string error;
        EXPECT_FALSE(JpegImage::encode(p.bgr.data(), 8, 8, c.stride, c.quality, file, error));
        EXPECT_EQ(error, c.reason);
        EXPECT_TRUE(file.empty());
    }
}

TEST(JpegImage, APipeNamedLikeAFileIsRefusedWithoutWaiting) {
    TempDir dir;
    JpegImage decoder;
    std::string decoderError;
    EXPECT_FALSE(ReadPipeWithoutWaiting(dir.file("pipe.jpg"), [&](const std::string& path) {
        return decoder.loadFile(path, decoderError);
    }));
    EXPECT_EQ(decoderError, "not a regular file");
    EXPECT_FALSE(decoder.loadFile(dir.path().string(), decoderError));
    EXPECT_EQ(decoderError, "cannot open: Is a directory");
}

TEST(JpegImage, RepeatedDecodesReuseThePixelBuffer) {
    const auto first = SaveToBytes(Gradient(128, 96), 70);
    TestPicture other = Gradient(128, 96);
    std::reverse(other.bgr.begin(), other.bgr.end());
    const auto second = SaveToBytes(other, 70);
    JpegImage decoder;
    std::string decoderError;
    ASSERT_TRUE(decoder.loadMemory(first.data(), first.size(), decoderError));
    const std::uint8_t* buffer = decoder.bgr().data();
    const std::uint8_t firstCorner = decoder.bgr()[0];
    ASSERT_TRUE(decoder.loadMemory(second.data(), second.size(), decoderError));
    EXPECT_EQ(decoder.bgr().data(), buffer);
    EXPECT_NE(decoder.bgr()[0], firstCorner) << "the second frame's pixels";
}

TEST(JpegImage, ALargeDeclaredSizeWithLittleDataTakesLittleMemory) {
    // A 64 x 64 picture whose header claims 15000 x 15000: its data run out within the first
    // rows, and the pixel buffer must not have grown towards the 675 MB the header promises.
    auto file = SaveToBytes(Gradient(64, 64), 70);
    std::size_t pos = 2;
    while (file[pos + 1] != 0xC0) pos += 2 + (std::size_t(file[pos + 2]) << 8 | file[pos + 3]);
    for (int at : {5, 7}) {
        file[pos + std::size_t(at)] = std::uint8_t(15000 >> 8);
        file[pos + std::size_t(at) + 1] = std::uint8_t(15000 & 0xFF);
    }
    JpegImage decoder;
    std::string decoderError;
    EXPECT_FALSE(decoder.loadMemory(file.data(), file.size(), decoderError));
    EXPECT_NE(decoderError.find("cannot decode JPEG"), std::string::npos) << decoderError;
    EXPECT_LT(decoder.bgr().capacity(), std::size_t(64) * 15000 * 3);
}

namespace {

// A JPEG of four-colour samples: ink[c](x, y) for cyan, magenta, yellow, black, stored as
// `space` (CMYK or YCCK) with or without the Adobe marker (which stores the inks inverted).
std::vector<std::uint8_t> EncodeInks(int width, int height, J_COLOR_SPACE space, bool adobe,
                                     const std::function<int(int, int, int)>& ink) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, space);
    cinfo.write_Adobe_marker = adobe;
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(std::size_t(width) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c) {
                const int v = ink(x, y, c);
                row[std::size_t(x) * 4 + c] = JSAMPLE(adobe ? 255 - v : v);
            }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> file(out, out + size);
    std::free(out);
    return file;
}

}  // namespace

TEST(JpegImage, FourColourFilesReadAsTheirColours) {
    // Cyan across, black down: red = (255 - C) (255 - K) / 255, and so on.
    auto ink = [](int x, int y, int c) { return c == 0 ? 2 * x : c == 3 ? y : c == 1 ? 60 : 0; };
    const struct {
        const char* name;
        J_COLOR_SPACE space;
        bool adobe;
    } cases[] = {{"CMYK, Adobe", JCS_CMYK, true},
                 {"CMYK, plain", JCS_CMYK, false},
                 {"YCCK, Adobe", JCS_YCCK, true}};
    const int w = 120, h = 90;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = EncodeInks(w, h, c.space, c.adobe, ink);
        JpegImage whole, centre;
        std::string error;
        ASSERT_TRUE(whole.loadMemory(file.data(), file.size(), error)) << error;
        int worst = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* px = whole.bgr().data() + whole.stride() * y + 3 * x;
                const int k = 255 - ink(x, y, 3);
                for (int ch = 0; ch < 3; ++ch) {
                    const int expected = (255 - ink(x, y, ch)) * k / 255;
                    worst = std::max(worst, std::abs(px[2 - ch] - expected));
                }
            }
        EXPECT_LE(worst, 6);
        // A region is the same pixels as the whole.
        ASSERT_TRUE(centre.loadMemoryCentre(file.data(), file.size(), 40, 30, nullptr, error))
            << error;
        ASSERT_EQ(centre.regionWidth(), 40);
        for (int j = 0; j < 30; ++j)
            EXPECT_EQ(std::memcmp(centre.bgr().data() + centre.stride() * j,
                                  whole.bgr().data() + whole.stride() * (centre.regionY() + j) +
                                      3 * centre.regionX(),
                                  40 * 3),
                      0);
    }
}
