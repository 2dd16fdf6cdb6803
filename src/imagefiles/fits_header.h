#pragma once
// FITS headers: the parse covers every image this program reads: BITPIX 8, 16, 32, -32,
// -64, two or three axes, in the primary unit or (after an empty primary) in the first
// extension, tile-compressed or not.
// Every function that can fail returns false with a short reason in `error`.

#include "byte_source.h"

#include <cstddef>
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
    bool fast = true;    // read by fits_reader.h's fast path; otherwise by fits_general.h
};

// Parses the header of a whole file in memory; checks that the data it announces are
// present.
[[nodiscard]] bool ParseFitsHeader(const std::uint8_t* bytes, std::size_t size, FitsHeader& header,
                                   std::string& error);
// Reads the header block by block up to the one holding END, and parses it; a file that does
// not start like FITS is refused after its first block. The blocks read from a file go into
// `blocks` (a source in memory is parsed where it lies, and `blocks` is left alone).
[[nodiscard]] bool ReadFitsHeader(const ByteSource& source, std::vector<std::uint8_t>& blocks,
                                  FitsHeader& header, std::string& error);
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
[[nodiscard]] bool ReadFitsCards(const ByteSource& source, FitsCards& cards, std::string& error);

}  // namespace framesifter
