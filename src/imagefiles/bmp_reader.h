#pragma once
// Reads BMP files of every kind in use: palettes of 1, 4 and 8 bits, run-length data of 4
// and 8 bits, 16, 24 and 32-bit pixels with or without channel masks (scaled to 8 bits),
// headers of 12 to 124 bytes. A file cut short, a header that does not add up or damaged
// run-length data is refused with the reason; pixels that intact run-length data leave out
// are colour 0.

#include "bmp_headers.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>

namespace framesifter {

// The image: palette images as Format_Indexed8 (a colour table of 256 entries), the others
// as Format_RGB32. False with a short reason.
[[nodiscard]] bool ReadBmp(const std::uint8_t* bytes, std::size_t size, QImage& image,
                           std::string& error);
[[nodiscard]] bool ReadBmpFile(const std::string& path, QImage& image, std::string& error);

}  // namespace framesifter
