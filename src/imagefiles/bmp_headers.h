#pragma once
// BMP file and info headers, parsed and checked before any pixel is read.

#include <cstddef>
#include <cstdint>
#include <string>

namespace framesifter {

// The header fields as ParseBmpHeaders reads them. height is the number of rows; topDown
// when the file stores the top row first (a negative height in the file).
struct BmpHeaders {
    std::uint32_t dataOffset = 0;
    std::uint32_t infoSize = 0;
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bits = 0;
    std::uint32_t compression = 0;
    std::uint32_t colorsUsed = 0;
    bool runLength = false;
    // Red, green and blue masks of 16- and 32-bit pixels (the defaults without masks), and
    // the bytes they take after a 40-byte header.
    std::uint32_t masks[3] = {};
    std::uint32_t maskBytesAfterHeader = 0;
};

// The longest header: file header and a version 5 info header.
constexpr std::size_t kBmpHeadersBytes = 14 + 124;

// True when the headers describe an image this reader can read completely from a file of
// `fileSize` bytes; false with a short reason otherwise. `head` holds the file's first
// min(fileSize, kBmpHeadersBytes) bytes or more.
[[nodiscard]] bool ParseBmpHeaders(const std::uint8_t* head, std::size_t headSize,
                                   std::uint64_t fileSize, BmpHeaders& headers, std::string& error);
[[nodiscard]] bool CheckBmpHeaders(const std::uint8_t* bytes, std::size_t size, std::string& error);

inline std::uint32_t BmpLe16(const std::uint8_t* p) { return std::uint32_t(p[0] | p[1] << 8); }
inline std::uint32_t BmpLe32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

}  // namespace framesifter
