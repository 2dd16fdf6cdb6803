#include "frame_test_images.h"
#include "jpeg_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

using namespace framesifter;

namespace {

using Region = JpegImage::Region;

// How a test file is written: sampling factors of the first component (the others 1 x 1),
// progressive or sequential, restart markers, arithmetic coding.
struct Variant {
    const char* name;
    int components;  // 3 colour, 1 greyscale
    int h;
    int v;
    bool progressive = false;
    unsigned restartMcus = 0;
    int restartRows = 0;
    bool arithmetic = false;
};

const Variant kVariants[] = {
    {"4:2:0", 3, 2, 2},
    {"4:2:2", 3, 2, 1},
    {"4:4:0", 3, 1, 2},
    {"4:4:4", 3, 1, 1},
    {"4:1:1", 3, 4, 1},
    {"grey", 1, 1, 1},
    {"4:2:0 restart every 3 MCUs", 3, 2, 2, false, 3},
    {"4:2:2 restart every row", 3, 2, 1, false, 0, 1},
    {"grey restart every 5 MCUs", 1, 1, 1, false, 5},
    {"4:2:0 progressive", 3, 2, 2, true},
    {"4:4:4 progressive", 3, 1, 1, true},
    {"grey progressive", 1, 1, 1, true},
    {"4:2:0 arithmetic", 3, 2, 2, false, 0, 0, true},
};

// Noise on gradients with sharp coloured stripes: strong chroma changes everywhere, so any
// column or row decoded differently near a crop or skip shows.
std::vector<std::uint8_t> Texture(int width, int height, int components, unsigned seed) {
    std::vector<std::uint8_t> samples(std::size_t(width) * height * components);
    auto clamp = [](int v) { return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    std::uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = samples.data() + (std::size_t(y) * width + x) * components;
            const bool stripe = (x / 5 + y / 7) % 3 == 0;
            for (int c = 0; c < components; ++c) {
                state ^= state << 13;  // xorshift32
                state ^= state >> 17;
                state ^= state << 5;
                const int noise = int(state % 21) - 10;
                int value = 60 + 120 * ((x * (c + 1) + y * (3 - c)) % 97) / 97 + noise;
                if (stripe) value = c == 1 ? 255 - value : value / 3;
                px[c] = clamp(value);
            }
        }
    }
    return samples;
}

std::vector<std::uint8_t> Encode(const Variant& variant, int width, int height, int quality,
                                 unsigned seed = 1) {
    return EncodeJpegWithLibjpeg(width, height, variant.components,
                                 variant.components == 1 ? JCS_GRAYSCALE : JCS_RGB,
                                 Texture(width, height, variant.components, seed), quality,
                                 [&](jpeg_compress_struct& cinfo) {
                                     cinfo.comp_info[0].h_samp_factor = variant.h;
                                     cinfo.comp_info[0].v_samp_factor = variant.v;
                                     for (int c = 1; c < variant.components; ++c) {
                                         cinfo.comp_info[c].h_samp_factor = 1;
                                         cinfo.comp_info[c].v_samp_factor = 1;
                                     }
                                     cinfo.restart_interval = variant.restartMcus;
                                     cinfo.restart_in_rows = variant.restartRows;
                                     cinfo.arith_code = variant.arithmetic ? TRUE : FALSE;
                                     if (variant.progressive) jpeg_simple_progression(&cinfo);
                                 });
}

Region Clip(Region r, int width, int height) {
    const int x0 = std::clamp(r.x, 0, width);
    const int y0 = std::clamp(r.y, 0, height);
    const int x1 = std::clamp(r.x + r.width, x0, width);
    const int y1 = std::clamp(r.y + r.height, y0, height);
    return {x0, y0, x1 - x0, y1 - y0};
}

// The region decode's rectangle and pixels against the same pixels of the full decode.
::testing::AssertionResult SameAsFull(const JpegImage& full, const JpegImage& part,
                                      const Region& expected) {
    if (part.width() != full.width() || part.height() != full.height()) {
        return ::testing::AssertionFailure()
               << "image size " << part.width() << " x " << part.height();
    }
    if (part.regionX() != expected.x || part.regionY() != expected.y ||
        part.regionWidth() != expected.width || part.regionHeight() != expected.height) {
        return ::testing::AssertionFailure()
               << "region " << part.regionX() << "," << part.regionY() << " " << part.regionWidth()
               << " x " << part.regionHeight() << ", expected " << expected.x << "," << expected.y
               << " " << expected.width << " x " << expected.height;
    }
    if (part.stride() != std::size_t(expected.width) * 3 ||
        part.bgr().size() != part.stride() * std::size_t(expected.height)) {
        return ::testing::AssertionFailure() << "buffer of " << part.bgr().size() << " bytes";
    }
    for (int j = 0; j < expected.height; ++j) {
        const std::uint8_t* a = full.bgr().data() + full.stride() * std::size_t(expected.y + j) +
                                std::size_t(expected.x) * 3;
        const std::uint8_t* b = part.bgr().data() + part.stride() * std::size_t(j);
        for (int i = 0; i < expected.width * 3; ++i) {
            if (a[i] != b[i]) {
                return ::testing::AssertionFailure()
                       << "pixel " << expected.x + i / 3 << "," << expected.y + j << " channel "
                       << i % 3 << ": " << int(b[i]) << " instead of " << int(a[i]);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

bool LoadRegion(JpegImage& decoder, const std::vector<std::uint8_t>& bytes, Region r,
                std::string& error) {
    return decoder.loadMemoryRegion(
        bytes.data(), bytes.size(), [r](int, int) { return r; }, nullptr, error);
}

// Offset of the first entropy-coded byte of the (first) scan.
std::size_t ScanStart(const std::vector<std::uint8_t>& f) {
    std::size_t pos = 2;
    while (pos + 4 <= f.size() && f[pos + 1] != 0xDA) {
        pos += 2 + (std::size_t(f[pos + 2]) << 8 | f[pos + 3]);
    }
    return pos + 2 + (std::size_t(f[pos + 2]) << 8 | f[pos + 3]);
}

// Offsets of the restart markers' second bytes, in order.
std::vector<std::size_t> RestartMarkers(const std::vector<std::uint8_t>& f) {
    std::vector<std::size_t> found;
    for (std::size_t i = ScanStart(f); i + 1 < f.size(); ++i) {
        if (f[i] == 0xFF && f[i + 1] >= 0xD0 && f[i + 1] <= 0xD7) found.push_back(i + 1);
    }
    return found;
}

}  // namespace

TEST(JpegRegion, PixelsMatchTheFullDecode) {
    struct Size {
        int width, height;
    };
    const Size sizes[] = {{1280, 960}, {641, 479}, {256, 256}, {300, 257}, {271, 263}, {100, 61}};
    JpegImage full;
    std::string fullError;
    JpegImage part;
    std::string partError;
    for (std::size_t v = 0; v < std::size(kVariants); ++v) {
        const Variant& variant = kVariants[v];
        for (std::size_t z = 0; z < std::size(sizes); ++z) {
            // Every variant and every size at both qualities, though not every pair.
            const int quality = (v + z) % 2 ? 95 : 70;
            const int W = sizes[z].width;
            const int H = sizes[z].height;
            SCOPED_TRACE(std::string(variant.name) + ", " + std::to_string(W) + " x " +
                         std::to_string(H) + ", quality " + std::to_string(quality));
            const auto bytes = Encode(variant, W, H, quality);
            ASSERT_TRUE(full.loadMemory(bytes.data(), bytes.size(), fullError)) << fullError;

            // The centred window of centre mode, with the corner its caller computes.
            ASSERT_TRUE(
                part.loadMemoryCentre(bytes.data(), bytes.size(), 256, 256, nullptr, partError))
                << partError;
            EXPECT_TRUE(
                SameAsFull(full, part, Clip({(W - 256) / 2, (H - 256) / 2, 256, 256}, W, H)));

            const Region regions[] = {
                {0, 0, 256, 256},              // top left corner
                {W - 256, H - 256, 256, 256},  // bottom right corner
                {W - 200, 0, 200, 40},         // along the top and right edges
                {0, H - 1, W, 1},              // the last row
                {17, 9, 101, 77},              // nothing aligned to a block
                {W / 2, H / 2, 1, 1},          // one pixel
                {W - 1, 3, 50, 50},            // the last column, clipped
                {-30, -20, W + 60, 300},       // wider than the image, clipped
            };
            for (const Region& r : regions) {
                SCOPED_TRACE("region " + std::to_string(r.x) + "," + std::to_string(r.y) + " " +
                             std::to_string(r.width) + " x " + std::to_string(r.height));
                ASSERT_TRUE(LoadRegion(part, bytes, r, partError)) << partError;
                EXPECT_TRUE(SameAsFull(full, part, Clip(r, W, H)));
            }
        }
    }
}

TEST(JpegRegion, EveryOffsetAroundBlocksAndMargins) {
    // Small regions at every position across the first three 16-pixel blocks, both ways:
    // crops and skips that start before, on and after block and margin boundaries.
    for (const char* name : {"4:2:0", "4:2:2", "4:4:0", "4:1:1", "4:2:0 restart every 3 MCUs"}) {
        const Variant* variant = nullptr;
        for (const Variant& v : kVariants) {
            if (std::string(v.name) == name) variant = &v;
        }
        ASSERT_NE(variant, nullptr);
        SCOPED_TRACE(name);
        const auto bytes = Encode(*variant, 120, 110, 90, 7);
        JpegImage full;
        std::string fullError;
        ASSERT_TRUE(full.loadMemory(bytes.data(), bytes.size(), fullError));
        JpegImage part;
        std::string partError;
        for (int y = 0; y < 50; ++y) {
            for (int x = 0; x < 50; ++x) {
                const Region r{x, y, 3 + (x + y) % 5, 2 + (x * y) % 4};
                ASSERT_TRUE(LoadRegion(part, bytes, r, partError)) << partError;
                ASSERT_TRUE(SameAsFull(full, part, r)) << "at " << x << "," << y;
            }
        }
        // The same decoder goes back to whole images afterwards.
        ASSERT_TRUE(part.loadMemory(bytes.data(), bytes.size(), partError));
        EXPECT_TRUE(SameAsFull(full, part, {0, 0, 120, 110}));
    }
}

TEST(JpegRegion, ChooserSeesTheImageSizeAndMayAskForNothing) {
    const auto bytes = Encode(kVariants[0], 333, 222, 80);
    JpegImage decoder;
    std::string decoderError;
    int calls = 0;
    ASSERT_TRUE(decoder.loadMemoryRegion(
        bytes.data(), bytes.size(),
        [&](int w, int h) {
            ++calls;
            EXPECT_EQ(w, 333);
            EXPECT_EQ(h, 222);
            return Region{w - 10, h - 10, 10, 10};
        },
        nullptr, decoderError));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(decoder.regionX(), 323);
    EXPECT_EQ(decoder.regionY(), 212);

    // Empty after clipping: no pixels, but the file is still read and checked.
    for (const Region& r : {Region{0, 0, 0, 0}, Region{400, 10, 20, 20}, Region{5, -50, 9, 40}}) {
        ASSERT_TRUE(LoadRegion(decoder, bytes, r, decoderError)) << decoderError;
        EXPECT_EQ(decoder.width(), 333);
        EXPECT_EQ(decoder.regionWidth() * decoder.regionHeight(), 0);
        EXPECT_TRUE(decoder.bgr().empty());
    }
    const std::vector<std::uint8_t> cut(bytes.begin(), bytes.end() - long(bytes.size() / 3));
    EXPECT_FALSE(LoadRegion(decoder, cut, {0, 0, 0, 0}, decoderError));
    EXPECT_EQ(decoderError, "cannot decode JPEG: Premature end of JPEG file");

    // Far out of range and overflowing rectangles are clipped, not trusted.
    ASSERT_TRUE(
        LoadRegion(decoder, bytes, {2147483000, 2147483000, 2147483000, 2147483000}, decoderError));
    EXPECT_EQ(decoder.regionWidth(), 0);
    ASSERT_TRUE(LoadRegion(decoder, bytes, {-2147483000, 5, 2147483000, 7}, decoderError));
    EXPECT_EQ(decoder.regionX(), 0);
    EXPECT_EQ(decoder.regionWidth(), 0);
    ASSERT_TRUE(
        decoder.loadMemoryCentre(bytes.data(), bytes.size(), -5, 1 << 30, nullptr, decoderError));
    EXPECT_EQ(decoder.regionY(), 0);
    EXPECT_EQ(decoder.regionHeight(), 222);

    // A chooser that throws leaves the decoder usable.
    EXPECT_THROW(
        (void)decoder.loadMemoryRegion(
            bytes.data(), bytes.size(), [](int, int) -> Region { throw std::runtime_error("x"); },
            nullptr, decoderError),
        std::runtime_error);
    ASSERT_TRUE(
        decoder.loadMemoryCentre(bytes.data(), bytes.size(), 256, 256, nullptr, decoderError));
    EXPECT_EQ(decoder.regionX(), 38);
}

TEST(JpegRegion, RefusesWhatTheFullDecodeRefusesAtMarkersAndTheEnd) {
    const Variant plain = kVariants[0];
    Variant restarts = kVariants[0];
    restarts.restartMcus = 4;
    Variant progressive = kVariants[0];
    progressive.progressive = true;
    struct Damage {
        const char* name;
        const Variant* variant;
        std::function<void(std::vector<std::uint8_t>&)> apply;
    };
    // Positions as parts of the file: the centred window of 640 x 480 covers roughly the
    // middle half of the rows, so 0.1 is above it, 0.5 inside, 0.9 below.
    auto cutAt = [](double part) {
        return [part](std::vector<std::uint8_t>& f) {
            const std::size_t start = ScanStart(f);
            f.resize(start + std::size_t(double(f.size() - start) * part));
        };
    };
    auto restartAt = [](double part, int change) {
        return [part, change](std::vector<std::uint8_t>& f) {
            const auto markers = RestartMarkers(f);
            ASSERT_GT(markers.size(), 8u);
            std::uint8_t& m = f[markers[std::size_t(double(markers.size()) * part)]];
            m = std::uint8_t(0xD0 + (m - 0xD0 + change) % 8);
        };
    };
    auto dropRestartAt = [](double part) {
        return [part](std::vector<std::uint8_t>& f) {
            const auto markers = RestartMarkers(f);
            const std::size_t at = markers[std::size_t(double(markers.size()) * part)] - 1;
            f.erase(f.begin() + long(at), f.begin() + long(at) + 2);
        };
    };
    auto insertAt = [](double part, std::vector<std::uint8_t> bytes) {
        return [part, bytes](std::vector<std::uint8_t>& f) {
            const std::size_t start = ScanStart(f);
            std::size_t at = start + std::size_t(double(f.size() - start) * part);
            while (f[at - 1] == 0xFF) ++at;  // not between 0xFF and its second byte
            f.insert(f.begin() + long(at), bytes.begin(), bytes.end());
        };
    };
    const Damage damages[] = {
        {"cut above", &plain, cutAt(0.1)},
        {"cut inside", &plain, cutAt(0.5)},
        {"cut below", &plain, cutAt(0.9)},
        {"end marker missing", &plain, [](auto& f) { f.resize(f.size() - 2); }},
        {"last byte missing", &plain, [](auto& f) { f.resize(f.size() - 1); }},
        {"restarts: cut below", &restarts, cutAt(0.9)},
        {"restarts: wrong number above", &restarts, restartAt(0.1, 3)},
        {"restarts: wrong number below", &restarts, restartAt(0.9, 5)},
        {"restarts: last one wrong", &restarts, restartAt(0.999, 1)},
        {"restarts: one missing below", &restarts, dropRestartAt(0.8)},
        {"stray restart marker below", &plain, insertAt(0.85, {0xFF, 0xD3})},
        {"second start of image below", &plain, insertAt(0.85, {0xFF, 0xD8})},
        {"unknown marker below", &plain, insertAt(0.85, {0xFF, 0x05})},
        {"progressive: cut below", &progressive, cutAt(0.95)},
        {"progressive: cut in the last scan", &progressive,
         [](auto& f) { f.resize(f.size() - 20); }},
    };
    JpegImage full;
    std::string fullError;
    JpegImage part;
    std::string partError;
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        std::vector<std::uint8_t> bytes = Encode(*d.variant, 640, 480, 85, 3);
        d.apply(bytes);
        ASSERT_FALSE(full.loadMemory(bytes.data(), bytes.size(), fullError))
            << "not damaged enough";
        EXPECT_FALSE(
            part.loadMemoryCentre(bytes.data(), bytes.size(), 256, 256, nullptr, partError));
        EXPECT_EQ(partError, fullError);
        EXPECT_TRUE(part.bgr().empty());
        EXPECT_EQ(part.width(), 0);
    }
}

TEST(JpegRegion, DamageBetweenMarkersIsJudgedAsByTheFullDecode) {
    // Random byte changes in the coded data (never creating a marker), above, inside or
    // below the region: the region decode refuses exactly what the full decode refuses,
    // for the same reason, and otherwise gives its pixels.
    int refused = 0;
    int accepted = 0;
    for (const Variant* variant : {&kVariants[0], &kVariants[6], &kVariants[9]}) {
        SCOPED_TRACE(variant->name);
        const auto good = Encode(*variant, 400, 300, 90, 11);
        const std::size_t start = ScanStart(good);
        const Region window{(400 - 256) / 2, (300 - 256) / 2, 256, 256};
        std::mt19937 random(5);
        JpegImage full;
        std::string fullError;
        JpegImage part;
        std::string partError;
        for (int trial = 0; trial < 150; ++trial) {
            std::vector<std::uint8_t> bytes = good;
            const std::size_t at = start + random() % (good.size() - start - 2);
            if (bytes[at] == 0xFF || bytes[at - 1] == 0xFF) continue;
            bytes[at] = std::uint8_t(bytes[at] ^ (1 + random() % 0xFE));
            if (bytes[at] == 0xFF) continue;
            const bool fullOk = full.loadMemory(bytes.data(), bytes.size(), fullError);
            const bool partOk =
                part.loadMemoryCentre(bytes.data(), bytes.size(), 256, 256, nullptr, partError);
            ASSERT_EQ(partOk, fullOk) << "byte " << at << ": " << fullError << partError;
            if (fullOk) {
                ++accepted;
                ASSERT_TRUE(SameAsFull(full, part, window)) << "byte " << at;
            } else {
                ++refused;
                EXPECT_EQ(partError, fullError);
            }
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(accepted, 0);
}

TEST(JpegRegion, TooLargeIsRefusedBeforeChoosing) {
    auto bytes = Encode(kVariants[0], 64, 64, 70);
    std::size_t pos = 2;
    while (bytes[pos + 1] != 0xC0) pos += 2 + (std::size_t(bytes[pos + 2]) << 8 | bytes[pos + 3]);
    bytes[pos + 5] = 0x75;  // 30000 rows
    bytes[pos + 6] = 0x30;
    bytes[pos + 7] = 0x4E;  // 20000 columns
    bytes[pos + 8] = 0x20;
    JpegImage decoder;
    std::string decoderError;
    bool chosen = false;
    EXPECT_FALSE(decoder.loadMemoryRegion(
        bytes.data(), bytes.size(),
        [&](int, int) {
            chosen = true;
            return Region{0, 0, 256, 256};
        },
        nullptr, decoderError));
    EXPECT_FALSE(chosen);
    EXPECT_EQ(decoderError.rfind("image too large: 20000 x 30000", 0), 0u) << decoderError;
    EXPECT_FALSE(decoder.loadMemoryCentre(nullptr, 0, 256, 256, nullptr, decoderError));
    EXPECT_EQ(decoderError.rfind("not a JPEG file: ", 0), 0u) << decoderError;
}
