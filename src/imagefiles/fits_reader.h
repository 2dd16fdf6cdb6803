#pragma once
// Reader for FITS images. The header parse covers every image this program reads: BITPIX 8,
// 16, 32, -32, -64, two or three axes, in the primary unit or (after an empty primary) in
// the first extension, tile-compressed or not. The pixel functions here are the fast path
// for the common camera case (header.fast): 16-bit integers, BSCALE 1, an integer BZERO,
// one plane; fits_general.h reads the rest.
// Every function that can fail returns false with a short reason in `error`, such as
// "truncated: 1000 of 614400 data bytes present", which callers turn into a sentence that
// names the file.

#include "byte_source.h"
#include "frame_format.h"
#include "planes.h"

#include <cstddef>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

constexpr int kFitsCardBytes = 80;
constexpr int kFitsBlockBytes = 2880;
// A header longer than this (about 13000 cards) is refused rather than searched to the end
// of a large file for an END card.
constexpr int kFitsMaxHeaderBlocks = 360;

struct FitsHeader {
    int width = 0;               // NAXIS1
    int height = 0;              // NAXIS2
    int cardCount = 0;           // cards consumed: 36 per 2880-byte block, END's block included
    int bzero = 0;               // BZERO truncated toward zero; 0 when absent
    std::size_t dataOffset = 0;  // = 80 * cardCount
    // Of every image read; the primary's empty unit counts in cardCount too.
    int bitpix = 16;    // BITPIX, or ZBITPIX of a compressed image
    int planes = 1;     // NAXIS3, or 1
    int plane = 1;      // the plane read, from 1: the second (green) of three, else 1
    double bscale = 1;  // physical value = bzeroValue + bscale * stored value
    double bzeroValue = 0;
    int hdu = 1;              // the header unit holding the image, from 1
    bool compressed = false;  // tile-compressed, in a binary table
    // A compressed image's tile sizes (ZTILEn, each within its axis).
    int tileWidth = 0, tileHeight = 0, tilePlanes = 0;
    bool blank = false;  // an integer image with a BLANK value for undefined pixels
    bool fast = true;    // read by the functions below; otherwise by fits_general.h
};

// The parse core: `available` header bytes in memory (the blocks up to END at least) of a
// file of `fileSize` bytes in all; checks that the data the header announces are present.
bool ParseFitsHeaderBytes(const std::uint8_t* bytes, std::size_t available, std::uint64_t fileSize,
                          FitsHeader& header, std::string& error);
// The same on a whole file in memory.
bool ParseFitsHeader(const std::uint8_t* bytes, std::size_t size, FitsHeader& header,
                     std::string& error);
// Reads the header block by block up to the one holding END, and parses it; a file that does
// not start like FITS is refused after its first block. The blocks read from a file go into
// `blocks` (a source in memory is parsed where it lies, and `blocks` is left alone).
bool ReadFitsHeader(const ByteSource& source, std::vector<std::uint8_t>& blocks, FitsHeader& header,
                    std::string& error);
// Big-endian 16-bit words into plane[x][y] as raw unsigned values 0..65535. The plane must
// be allocated as (header.width, header.height); otherwise nothing is written. Fast headers
// only.
bool DecodeFitsPixels(const std::uint8_t* bytes, std::size_t size, const FitsHeader& header,
                      IntPlane& plane, std::string& error);

// File wrappers, in the order every caller uses them:
// ReadFitsSize, AllocIntPlane, ReadFitsImage, ApplyBzero, use, FreeIntPlane.
bool ReadFitsSize(const std::string& path, int& width, int& height, std::string& error);
// `header` receives the 80 * cardCount header bytes.
bool ReadFitsImage(const std::string& path, std::vector<char>& header, int& width, int& height,
                   int& cardCount, int& bzero, IntPlane& plane, std::string& error);
// The stored words are signed: raw unsigned words v become bzero + (v ^ 0x8000) - 32768
// (for BZERO 32768, v < 32768 ? v + 32768 : v - 32768), over first x second of the plane,
// held within the int range; refuses an area larger than the plane.
bool ApplyBzero(int bzero, int first, int second, IntPlane& plane, std::string& error);

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
// The n x n block with top-left corner (x0, y0) of a parsed image, BZERO folded, into
// window[i][j] = value at column x0 + i, row y0 + j. The block must lie inside the image.
bool DecodeFitsWindow(const std::uint8_t* bytes, std::size_t size, const FitsHeader& header, int x0,
                      int y0, int n, IntPlane& window, std::string& error);

// The whole sequence up to and including ApplyBzero on bytes in memory. The plane is
// reused when it already has the image's size.
bool DecodeFitsFrame(const std::uint8_t* bytes, std::size_t size, IntPlane& plane, int& width,
                     int& height, std::string& error);
// The same from a file: the header is read and checked first, then the data in bands of
// rows, so memory beyond the plane stays small.
bool ReadFitsFrame(const std::string& path, IntPlane& plane, int& width, int& height,
                   std::string& error);

// The image a header's cards declare, whether or not this reader reads such an image
// (another BITPIX, a BSCALE, a third axis): BITPIX, and NAXIS1, NAXIS2 and NAXIS3 (1 when
// the header has fewer axes).
struct FitsCards {
    int bitpix = 0;
    long long width = 0;
    long long height = 0;
    long long planes = 1;
};
// False when the header does not parse: no SIMPLE first, no END, BITPIX, NAXIS, NAXIS1 or
// NAXIS2 missing or not integers, fewer than two axes.
bool ReadFitsCards(const ByteSource& source, FitsCards& cards, std::string& error);

}  // namespace framesifter
