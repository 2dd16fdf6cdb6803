// libFuzzer target: the FITS parse core, which gates what cfitsio is given, and the 16-bit
// path's pixel decoding on arbitrary bytes. cfitsio itself is not run.
#include "fits_reader.h"
#include "fits_test_reader.h"
#include "frame_limits.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace framesifter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    FitsHeader header;
    if (ParseFitsHeader(data, size, header, error)) {
        // A header that parses promises its data are present and of a sane size.
        const int b = header.bitpix;
        const std::size_t depth = std::size_t(b < 0 ? -b : b) / 8;
        if (header.width < 1 || header.width > kMaxFrameSide || header.height < 1 ||
            header.height > kMaxFrameSide || header.planes < 1 || header.planes > kMaxFrameSide ||
            header.plane < 1 || header.plane > header.planes ||
            (b != 8 && b != 16 && b != 32 && b != -32 && b != -64) || header.bscale == 0 ||
            header.dataOffset > size || header.dataOffset % kFitsBlockBytes != 0 ||
            header.hdu < 1 || header.hdu > 2 || (header.compressed && header.hdu != 2))
            std::abort();
        if (!header.compressed && double(header.dataOffset) + double(header.width) * header.height *
                                                                  header.planes * double(depth) >
                                      double(size))
            std::abort();
        if (header.fast && (header.bitpix != 16 || header.planes != 1 || header.bscale != 1 ||
                            header.bzeroValue != header.bzero || header.compressed))
            std::abort();
    } else if (error.empty()) {
        std::abort();  // every refusal says why
    }
    if (!header.fast || !error.empty()) return 0;
    IntPlane plane;
    int width = 0, height = 0;
    if (DecodeFitsFrame(data, size, plane, width, height, error)) {
        if (plane.first() != width || plane.second() != height) std::abort();
        // Raw words are 0..65535; after any in-range BZERO fold they stay in int range and
        // ApplyBzero on the raw plane must agree with the fused fold.
        IntPlane raw;
        if (AllocIntPlane(width, height, raw, error) &&
            fits_test_reader::DecodeFitsPixels(data, size, header, raw, error)) {
            if (!ApplyBzero(header.bzero, width, height, raw, error)) std::abort();
            for (int x = 0; x < width; ++x)
                for (int y = 0; y < height; ++y)
                    if (raw[x][y] != plane[x][y]) std::abort();
        }
    }
    return 0;
}
