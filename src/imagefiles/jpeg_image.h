#pragma once
// A small class over libjpeg-turbo's libjpeg API: decodes a JPEG file, or only a rectangle
// of it, into 24-bit BGR rows (top row first) and encodes 24-bit BGR rows as a baseline
// colour JPEG.
// A corrupt file becomes an error message, never a call to exit().

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class JpegImage {
public:
    JpegImage() = default;

    // A rectangle of the image, in pixels from its top left corner.
    struct Region {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };
    // Picks the rectangle to decode once the header has given the image's size.
    using RegionChooser = std::function<Region(int imageWidth, int imageHeight)>;

    // Full decode. Returns false with a short reason in error().
    bool loadFile(const std::string& path);
    bool loadMemory(const std::uint8_t* bytes, std::size_t size);

    // Partial decode: only the rectangle `choose` returns, clipped to the image (it may end
    // up empty). Its pixels are exactly those of a full decode. A file is refused, for the
    // same reason as by a full decode, when its fault lies above or inside the rectangle,
    // when it is cut short, or when its markers below the rectangle are out of place; a
    // damaged code below the rectangle in a sequential file goes unnoticed (it cannot
    // change the rectangle's pixels).
    bool loadMemoryRegion(const std::uint8_t* bytes, std::size_t size,
                          const RegionChooser& choose);
    // The `windowWidth` x `windowHeight` rectangle at ((W - windowWidth) / 2,
    // (H - windowHeight) / 2), clipped to the image.
    bool loadMemoryCentre(const std::uint8_t* bytes, std::size_t size, int windowWidth,
                          int windowHeight);

    // Size of the whole image, after either kind of decode.
    int width() const { return width_; }
    int height() const { return height_; }
    // The decoded rectangle; after a full decode it is the whole image.
    int regionX() const { return regionX_; }
    int regionY() const { return regionY_; }
    int regionWidth() const { return regionWidth_; }
    int regionHeight() const { return regionHeight_; }
    // Row j of the decoded rectangle (image row regionY() + j) starts at
    // bgr().data() + j * stride(); three bytes per pixel, blue first.
    const std::vector<std::uint8_t>& bgr() const { return bgr_; }
    std::size_t stride() const { return std::size_t(regionWidth_) * 3; }
    const std::string& error() const { return error_; }
    // Frees the pixel buffer when it holds more than `keepBytes` (it is otherwise kept for
    // the next decode).
    void releaseLargeBuffers(std::size_t keepBytes) {
        if (bgr_.capacity() > keepBytes) std::vector<std::uint8_t>().swap(bgr_);
    }

    // Writes `width` x `height` BGR pixels (row stride `stride` bytes) as a colour,
    // non-progressive JPEG at `quality` (1..100), library defaults otherwise.
    static bool saveFile(const std::string& path, const std::uint8_t* bgr, int width, int height,
                         std::size_t stride, int quality, std::string& error);

private:
    bool decode(std::FILE* file, const std::uint8_t* bytes, std::size_t size,
                const RegionChooser* choose);

    int width_ = 0;
    int height_ = 0;
    int regionX_ = 0;
    int regionY_ = 0;
    int regionWidth_ = 0;
    int regionHeight_ = 0;
    std::vector<std::uint8_t> bgr_;
    std::string error_;
};
