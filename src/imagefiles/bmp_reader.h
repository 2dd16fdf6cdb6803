#pragma once
// Reads BMP files through Qt's BMP reader, after checking the headers ourselves: Qt's
// reader accepts a file cut short, a header it does not understand, or run-length data
// that stops early, and then hands back pixels that were never written. Here such a file is
// refused, or (run-length data that leaves pixels out) the missing pixels are colour 0.

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
};

// The longest header: file header and a version 5 info header.
constexpr std::size_t kBmpHeadersBytes = 14 + 124;

// True when the headers describe an image this reader can read completely from a file of
// `fileSize` bytes; false with a short reason otherwise. `head` holds the file's first
// min(fileSize, kBmpHeadersBytes) bytes or more.
bool ParseBmpHeaders(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize,
                     BmpHeaders& headers, std::string& error);
bool CheckBmpHeaders(const std::uint8_t* bytes, std::size_t size, std::string& error);

// The image in the file's own pixel format as Qt represents it (8-bit palette images stay
// 8-bit). False with a short reason.
bool ReadBmp(const std::uint8_t* bytes, std::size_t size, QImage& image, std::string& error);
bool ReadBmpFile(const std::string& path, QImage& image, std::string& error);

}  // namespace framesifter
