#pragma once
// How a BMP file's uncompressed rows hold their pixels, once its headers are parsed: where
// the rows start, the palette, and the channel masks of 16- and 32-bit pixels, whose values
// are scaled to the full 8-bit range (a 5-bit 31 reads 255, a 10-bit 1023 reads 255).
// The whole-image reader and the analysis window read pixels through the same functions.

#include "bmp_headers.h"
#include "byte_source.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

// One colour channel of a 16- or 32-bit pixel.
struct BmpChannel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t top = 0;  // mask >> shift; 0 for an absent channel, which reads 0

    std::uint8_t operator()(std::uint32_t pixel) const {
        if (top == 0) return 0;
        const std::uint64_t v = (pixel & mask) >> shift;
        return std::uint8_t((v * 255 + top / 2) / top);
    }
};

enum class BmpPixels { Index1, Index4, Index8, Bgr24, Bgr32, Masked16, Masked32 };

struct BmpLayout {
    std::uint64_t pixelStart = 0;
    std::size_t rowBytes = 0;
    BmpPixels kind = BmpPixels::Bgr24;
    std::uint8_t palette[256][3] = {};  // blue, green, red; indices beyond the file's are black
    std::uint8_t green[256] = {};       // the palette's green values
    BmpChannel red, greenChannel, blue;
};

// The layout of an uncompressed or run-length image. False with a reason for a palette of
// more than 256 colours or cut off, or masks that are not runs of bits within the pixel.
// `head` (may be null) holds the file's first `headBytes` bytes: a palette within them is
// taken from there rather than read again.
[[nodiscard]] bool ReadBmpLayout(const ByteSource& source, const BmpHeaders& headers,
                                 std::vector<std::uint8_t>& scratch, BmpLayout& layout,
                                 std::string& error, const std::uint8_t* head = nullptr,
                                 std::size_t headBytes = 0);

// The headers with a palette of 256 colours after them: what a first read takes.
constexpr std::size_t kBmpHeadersAndPaletteBytes = kBmpHeadersBytes + 256 * 4;

// The palette index of pixel x of a row of 1, 4 or 8 bits.
inline std::uint8_t BmpIndex(const std::uint8_t* row, int x, BmpPixels kind) {
    switch (kind) {
    case BmpPixels::Index1:
        return std::uint8_t(row[x >> 3] >> (7 - (x & 7)) & 1);
    case BmpPixels::Index4:
        return std::uint8_t(x & 1 ? row[x >> 1] & 0x0f : row[x >> 1] >> 4);
    default:
        return row[x];
    }
}

// Calls visit(greenAt) with a function giving the green value (0..255) of pixel x of a row
// stored as `layout` says; one instance per kind, so that loops over a row stay tight.
template <typename Visit>
void WithBmpGreen(const BmpLayout& layout, const std::uint8_t* row, Visit visit) {
    switch (layout.kind) {
    case BmpPixels::Bgr24:
        visit([row](int x) { return row[std::size_t(x) * 3 + 1]; });
        break;
    case BmpPixels::Bgr32:
        visit([row](int x) { return row[std::size_t(x) * 4 + 1]; });
        break;
    case BmpPixels::Index8:
        visit([row, &layout](int x) { return layout.green[row[x]]; });
        break;
    case BmpPixels::Index4:
    case BmpPixels::Index1:
        visit([row, &layout](int x) { return layout.green[BmpIndex(row, x, layout.kind)]; });
        break;
    case BmpPixels::Masked16:
        visit([row, &layout](int x) {
            return layout.greenChannel(BmpLe16(row + std::size_t(x) * 2));
        });
        break;
    case BmpPixels::Masked32:
        visit([row, &layout](int x) {
            return layout.greenChannel(BmpLe32(row + std::size_t(x) * 4));
        });
        break;
    }
}

// Row `row` as blue, green, red bytes (direct kinds) or palette indices (1, 4, 8 bits) into
// `out`, `width` pixels.
void BmpRowPixels(const BmpLayout& layout, const std::uint8_t* row, int width, std::uint8_t* out);

}  // namespace framesifter
