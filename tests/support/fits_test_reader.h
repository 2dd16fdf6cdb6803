#pragma once
// The 16-bit FITS read in separate steps (size, raw words into a plane the caller allocated,
// then ApplyBzero), word by word: a plain reference for the one-call reader and its fused
// fold. Same reasons as the reader where both refuse.

#include "byte_source.h"
#include "fits_header.h"
#include "planes.h"
#include "system_calls.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fits_test_reader {

using framesifter::ByteSource;
using framesifter::Fail;
using framesifter::FitsHeader;
using framesifter::IntPlane;

inline bool RequireFast(const FitsHeader& header, std::string& error) {
    if (header.fast) return true;
    return Fail(error, "not a plain 16-bit image (BITPIX " + std::to_string(header.bitpix) +
                           "); read through FitsImageFile");
}

inline bool CheckPlaneSize(const FitsHeader& header, const IntPlane& plane, std::string& error) {
    const int w = header.width;
    const int h = header.height;
    if (plane.empty() || plane.first() != w || plane.second() != h)
        return Fail(error, "the image is " + std::to_string(w) + " x " + std::to_string(h) +
                               " but the plane is " + std::to_string(plane.first()) + " x " +
                               std::to_string(plane.second()));
    return true;
}

// Big-endian words from `data` into plane[x][y] as raw unsigned values 0..65535.
inline void RawWords(const std::uint8_t* data, int width, int height, IntPlane& plane) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = data + (std::size_t(y) * std::size_t(width) + x) * 2;
            plane[x][y] = std::int32_t(p[0]) << 8 | p[1];
        }
}

// The raw words of a parsed file in memory. The plane must be allocated as (header.width,
// header.height); otherwise nothing is written. Fast headers only.
inline bool DecodeFitsPixels(const std::uint8_t* bytes, std::size_t size, const FitsHeader& header,
                             IntPlane& plane, std::string& error) {
    if (!RequireFast(header, error) || !CheckPlaneSize(header, plane, error)) return false;
    const std::size_t dataBytes = std::size_t(header.width) * std::size_t(header.height) * 2;
    if (header.dataOffset > size || size - header.dataOffset < dataBytes)
        return Fail(error,
                    "truncated: fewer than " + std::to_string(dataBytes) + " data bytes present");
    RawWords(bytes + header.dataOffset, header.width, header.height, plane);
    return true;
}

inline bool ReadFitsSize(const std::string& path, int& width, int& height, std::string& error) {
    ByteSource source;
    std::vector<std::uint8_t> blocks;
    FitsHeader header;
    if (!source.open(path, error) || !framesifter::ReadFitsHeader(source, blocks, header, error))
        return false;
    width = header.width;
    height = header.height;
    return true;
}

// The raw words into a plane of the image's size; `headerBytes` receives the 80 * cardCount
// header bytes.
inline bool ReadFitsImage(const std::string& path, std::vector<char>& headerBytes, int& width,
                          int& height, int& cardCount, int& bzero, IntPlane& plane,
                          std::string& error) {
    ByteSource source;
    std::vector<std::uint8_t> blocks;
    FitsHeader header;
    if (!source.open(path, error) || !framesifter::ReadFitsHeader(source, blocks, header, error) ||
        !RequireFast(header, error) || !CheckPlaneSize(header, plane, error))
        return false;
    std::vector<std::uint8_t> scratch;
    const std::uint8_t* data = source.view(
        header.dataOffset, std::size_t(header.width) * header.height * 2, scratch, error);
    if (!data) return false;
    RawWords(data, header.width, header.height, plane);
    headerBytes.assign(blocks.begin(), blocks.begin() + std::ptrdiff_t(header.dataOffset));
    width = header.width;
    height = header.height;
    cardCount = header.cardCount;
    bzero = header.bzero;
    return true;
}

}  // namespace fits_test_reader
