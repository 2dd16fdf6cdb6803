#pragma once
// Reads BMP files of every kind in use: palettes of 1, 4 and 8 bits, run-length data of 4
// and 8 bits, 16, 24 and 32-bit pixels with or without channel masks (scaled to 8 bits),
// headers of 12 to 124 bytes. A file cut short, a header that does not add up or damaged
// run-length data is refused with the reason; pixels that intact run-length data leave out
// are colour 0.

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>

namespace framesifter {

// The header fields as the checks below read them. height is the number of rows; topDown
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
bool ParseBmpHeaders(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize,
                     BmpHeaders& headers, std::string& error);
bool CheckBmpHeaders(const std::uint8_t* bytes, std::size_t size, std::string& error);

// The image: palette images as Format_Indexed8 (a colour table of 256 entries), the others
// as Format_RGB32. False with a short reason.
bool ReadBmp(const std::uint8_t* bytes, std::size_t size, QImage& image, std::string& error);
bool ReadBmpFile(const std::string& path, QImage& image, std::string& error);

}  // namespace framesifter
