// libFuzzer target: the FITS parse core and pixel decoding on arbitrary bytes.
#include "fits_reader.h"
#include "frame_format.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace framesifter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    FitsHeader header;
    if (ParseFitsHeader(data, size, header, error)) {
        // A header that parses promises its data are present and of a sane size.
        if (header.width < 1 || header.width > kMaxFrameSide || header.height < 1 ||
            header.height > kMaxFrameSide ||
            header.dataOffset + std::size_t(header.width) * header.height * 2 > size)
            std::abort();
    } else if (error.empty()) {
        std::abort();  // every refusal says why
    }
    IntPlane plane;
    int width = 0, height = 0;
    if (DecodeFitsFrame(data, size, plane, width, height, error)) {
        if (plane.first() != width || plane.second() != height) std::abort();
        // Raw words are 0..65535; after any in-range BZERO fold they stay in int range and
        // ApplyBzero on the raw plane must agree with the fused fold.
        IntPlane raw;
        if (AllocIntPlane(width, height, raw) && DecodeFitsPixels(data, size, header, raw, error)) {
            if (!ApplyBzero(header.bzero, width, height, raw, error)) std::abort();
            for (int x = 0; x < width; ++x)
                for (int y = 0; y < height; ++y)
                    if (raw[x][y] != plane[x][y]) std::abort();
        }
    }
    return 0;
}
