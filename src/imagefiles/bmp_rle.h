#pragma once
// Run-length BMP pixel data (8 and 4 bits) decoded as a stream, one row at a time, with the
// results Qt's BMP reader gives: its clamping of runs at the end of the first row, its
// handling of deltas and of data that stop early. Nothing proportional to the declared
// image is allocated, so a small file declaring a huge image costs only its rows.

#include "byte_source.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace framesifter {

enum class RleResult {
    Ok,
    // The data end inside a run of literal pixels; Qt refuses such a file.
    Refused,
    // A run spills out of its row into rows decoded before it. Qt's reader writes such
    // pixels across rows; this decoder does not follow it there.
    Irregular,
};

// Decodes the stream from byte `start` to the end of `source`. Rows are numbered in the
// order the stream fills them (row 0 first). `row` is called once for each row the data
// write into, with `width` palette indices (pixels not written are 0); rows never written
// are not reported. `scratch` holds the chunks read from a file. `error` receives the
// reason for Refused and for a read error (which also gives Refused).
RleResult DecodeBmpRunLength(const ByteSource& source, std::uint64_t start, int width, int height,
                             int bits, std::vector<std::uint8_t>& scratch,
                             const std::function<void(int, const std::uint8_t*)>& row,
                             std::string& error);

}  // namespace framesifter
