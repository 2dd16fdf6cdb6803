#pragma once
// A small class over libjpeg-turbo's libjpeg API: decodes a JPEG file into 24-bit BGR rows
// (top row first) and encodes 24-bit BGR rows as a baseline colour JPEG.
// A corrupt file becomes an error message, never a call to exit().

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class JpegImage {
public:
    JpegImage() = default;

    // Full decode. Returns false with a short reason in error().
    bool loadFile(const std::string& path);
    bool loadMemory(const std::uint8_t* bytes, std::size_t size);

    int width() const { return width_; }
    int height() const { return height_; }
    // Row y starts at bgr().data() + y * stride(); three bytes per pixel, blue first.
    const std::vector<std::uint8_t>& bgr() const { return bgr_; }
    std::size_t stride() const { return std::size_t(width_) * 3; }
    const std::string& error() const { return error_; }

    // Writes `width` x `height` BGR pixels (row stride `stride` bytes) as a colour,
    // non-progressive JPEG at `quality` (1..100), library defaults otherwise.
    static bool saveFile(const std::string& path, const std::uint8_t* bgr, int width, int height,
                         std::size_t stride, int quality, std::string& error);

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> bgr_;
    std::string error_;
};
