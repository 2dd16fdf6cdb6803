#pragma once
// The fast path of the FITS reader, for the common camera case (header.fast): 16-bit
// integers, BSCALE 1, an integer BZERO, one plane; fits_general.h reads the rest.
// Every function that can fail returns false with a short reason in `error`, such as
// "truncated: 1000 of 614400 data bytes present", which callers turn into a sentence that
// names the file.

#include "byte_source.h"
#include "fits_header.h"
#include "planes.h"

#include <cstddef>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

// The stored words are signed: raw unsigned words v become bzero + (v ^ 0x8000) - 32768
// (for BZERO 32768, v < 32768 ? v + 32768 : v - 32768), over first x second of the plane,
// held within the int range; refuses an area larger than the plane.
[[nodiscard]] bool ApplyBzero(int bzero, int first, int second, IntPlane& plane,
                              std::string& error);

inline std::int32_t FoldBzero(std::int32_t v, std::int32_t bzero) {
    const std::int64_t r = std::int64_t(v ^ 0x8000) - 32768 + bzero;
    return std::int32_t(r < INT32_MIN ? INT32_MIN : r > INT32_MAX ? INT32_MAX : r);
}

// The n x n window whose rows start at `rows` (image row y0 first, rows `width` words long),
// from column x0 on, BZERO folded: window[i][j] = value at column x0 + i, row y0 + j.
void DecodeFitsWindowRows(const std::uint8_t* rows, int width, int bzero, int x0, int n,
                          IntPlane& window);
// s = sum of the folded values of one row of `width` words, sx = sum of value * column, in
// 64-bit integers. Needs |bzero| <= INT32_MAX - 65535, where the fold cannot overflow.
void FitsRowSums(const std::uint8_t* row, int width, int bzero, std::int64_t& s, std::int64_t& sx);
// A whole 16-bit image on bytes in memory, BZERO folded. The plane is reused when it already
// has the image's size.
[[nodiscard]] bool DecodeFitsFrame(const std::uint8_t* bytes, std::size_t size, IntPlane& plane,
                                   int& width, int& height, std::string& error);
// The same from a file: the header is read and checked first, then the data in bands of
// rows, so memory beyond the plane stays small.
[[nodiscard]] bool ReadFitsFrame(const std::string& path, IntPlane& plane, int& width, int& height,
                                 std::string& error);

}  // namespace framesifter
