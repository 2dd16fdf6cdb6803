#pragma once
// Small image files built byte by byte (BMP) or straight through libjpeg (JPEG in colour
// spaces the program's own writer does not produce), for the reader tests.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <jpeglib.h>

struct Bgr {
    std::uint8_t b, g, r;
};

namespace frame_test_images {

inline void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}
inline void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xffff);
    Put16(out, v >> 16);
}

// BITMAPFILEHEADER + BITMAPINFOHEADER. A negative height means rows stored top first.
inline void PutBmpHeaders(std::vector<std::uint8_t>& out, int width, int height, int bits,
                          std::uint32_t paletteEntries, std::uint32_t imageBytes) {
    const std::uint32_t offset = 14 + 40 + 4 * paletteEntries;
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + imageBytes);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, std::uint32_t(width));
    Put32(out, std::uint32_t(height));
    Put16(out, 1);
    Put16(out, std::uint32_t(bits));
    Put32(out, 0);  // BI_RGB
    Put32(out, imageBytes);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, paletteEntries);
    Put32(out, 0);
}

inline std::size_t RowBytes(int width, int bits) {
    return ((std::size_t(width) * std::size_t(bits) + 31) / 32) * 4;
}

}  // namespace frame_test_images

// pixels: width*height, top row first. Stored bottom-up unless topDown.
inline std::vector<std::uint8_t> MakeBmp24(int width, int height, const std::vector<Bgr>& pixels,
                                           bool topDown = false) {
    using namespace frame_test_images;
    const std::size_t row = RowBytes(width, 24);
    std::vector<std::uint8_t> out;
    PutBmpHeaders(out, width, topDown ? -height : height, 24, 0,
                  std::uint32_t(row * std::size_t(height)));
    for (int i = 0; i < height; ++i) {
        const int y = topDown ? i : height - 1 - i;
        for (int x = 0; x < width; ++x) {
            const Bgr& p = pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            out.push_back(p.b);
            out.push_back(p.g);
            out.push_back(p.r);
        }
        for (std::size_t k = std::size_t(width) * 3; k < row; ++k) out.push_back(0);
    }
    return out;
}

// 8-bit palette image; indices: width*height, top row first.
inline std::vector<std::uint8_t> MakeBmp8(int width, int height, const std::vector<Bgr>& palette,
                                          const std::vector<std::uint8_t>& indices) {
    using namespace frame_test_images;
    const std::size_t row = RowBytes(width, 8);
    std::vector<std::uint8_t> out;
    PutBmpHeaders(out, width, height, 8, std::uint32_t(palette.size()),
                  std::uint32_t(row * std::size_t(height)));
    for (const Bgr& c : palette) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x)
            out.push_back(indices[std::size_t(y) * std::size_t(width) + std::size_t(x)]);
        for (std::size_t k = std::size_t(width); k < row; ++k) out.push_back(0);
    }
    return out;
}

// A JPEG in any input colour space libjpeg can write (greyscale, CMYK, ...).
// samples: width*height*components, top row first. `configure`, when given, changes the
// settings (sampling, restarts, progression) after the defaults and the quality are set.
inline std::vector<std::uint8_t> EncodeJpegWithLibjpeg(
    int width, int height, int components, J_COLOR_SPACE space,
    const std::vector<std::uint8_t>& samples, int quality = 90,
    const std::function<void(jpeg_compress_struct&)>& configure = {}) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (configure) configure(cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t stride = std::size_t(width) * std::size_t(components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + stride * cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}
