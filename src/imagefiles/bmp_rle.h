#pragma once
// Run-length BMP pixel data (8 and 4 bits) decoded as a stream, one row at a time. Nothing
// proportional to the declared image is allocated, so a small file declaring a huge image
// costs only its rows. Damaged data are refused as damaged JPEG data are: a run past the end
// of its row, pixels or a move past the image, a stream that ends inside a command or before
// the image is complete without its end mark.

#include "byte_source.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace framesifter {

// Decodes the stream from byte `start` to the end of `source`. Rows are numbered in the
// order the stream fills them (row 0 first). `row` is called once for each row the data
// write into, with `width` palette indices (pixels not written are 0); rows never written
// are not reported. `scratch` holds the chunks read from a file. False with the reason for
// damaged data or a read error.
[[nodiscard]] bool DecodeBmpRunLength(const ByteSource& source, std::uint64_t start, int width,
                                      int height, int bits, std::vector<std::uint8_t>& scratch,
                                      const std::function<void(int, const std::uint8_t*)>& row,
                                      std::string& error);

}  // namespace framesifter
