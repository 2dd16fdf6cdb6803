#pragma once
// A small class over libjpeg-turbo's libjpeg API: decodes a JPEG file, or only a rectangle
// of it, into 24-bit BGR rows (top row first) and encodes 24-bit BGR rows as a baseline
// colour JPEG in memory.
// A corrupt file becomes an error message, never a call to exit(). Coded data the library
// reports as damaged (a bad code, data cut short, extra bytes at the end of a scan, a missing
// restart marker) refuses the file, whatever part of the image is asked for.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace framesifter {

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

    // What a decode is about to allocate, known from the header.
    struct Layout {
        int width = 0;
        int height = 0;
        // The decoder's own buffers (the whole-image coefficients of a progressive file, row
        // buffers) and the pixel buffer of this kind of decode, in bytes; an estimate that
        // errs on the large side.
        std::size_t decodeBytes = 0;
    };
    // Called once before those allocations; returning false refuses the file with `reason`
    // as the error. Lets a caller reserve the memory from a shared budget first.
    using LayoutCheck = std::function<bool(const Layout& layout, std::string& reason)>;
    // Receives decoded rows `first` .. `first + count - 1`, row k at bgr + (k - first) *
    // stride, whole image width, top to bottom.
    using RowSink =
        std::function<void(int first, int count, const std::uint8_t* bgr, std::size_t stride)>;

    // Every decode returns false with a short reason in `error`.

    // Full decode. A path is opened without blocking and refused unless it is a regular file.
    [[nodiscard]] bool loadFile(const std::string& path, std::string& error);
    [[nodiscard]] bool loadMemory(const std::uint8_t* bytes, std::size_t size, std::string& error);

    // Partial decode: only the rectangle `choose` returns, clipped to the image (it may end
    // up empty). Its pixels are exactly those of a full decode, and the file is refused
    // exactly when a full decode refuses it: the coded data below the rectangle is still
    // read and checked, without the inverse transform. `check` may be null.
    [[nodiscard]] bool loadMemoryRegion(const std::uint8_t* bytes, std::size_t size,
                                        const RegionChooser& choose, const LayoutCheck* check,
                                        std::string& error);
    // The `windowWidth` x `windowHeight` rectangle at ((W - windowWidth) / 2,
    // (H - windowHeight) / 2), clipped to the image.
    [[nodiscard]] bool loadMemoryCentre(const std::uint8_t* bytes, std::size_t size,
                                        int windowWidth, int windowHeight, const LayoutCheck* check,
                                        std::string& error);
    // Full decode that hands the rows to `sink` a few at a time instead of keeping them: the
    // pixels are those of loadMemory, in memory of the order of one row. Afterwards the
    // decoded rectangle is empty.
    [[nodiscard]] bool readMemoryRows(const std::uint8_t* bytes, std::size_t size,
                                      const LayoutCheck& check, const RowSink& sink,
                                      std::string& error);

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
    // Frees the pixel buffer when it holds more than `keepBytes` (it is otherwise kept for
    // the next decode).
    void releaseLargeBuffers(std::size_t keepBytes) {
        if (bgr_.capacity() > keepBytes) std::vector<std::uint8_t>().swap(bgr_);
    }

    // What the header alone tells: size, colour components and bits per sample. False when
    // `bytes` end before the header does.
    struct HeaderFacts {
        int width = 0;
        int height = 0;
        int components = 0;
        int precision = 0;
    };
    [[nodiscard]] static bool readHeader(const std::uint8_t* bytes, std::size_t size,
                                         HeaderFacts& facts, std::string& error);

    // `width` x `height` BGR pixels (row stride `stride` bytes) as the bytes of a colour,
    // non-progressive JPEG file at `quality` (1..100), library defaults otherwise.
    [[nodiscard]] static bool encode(const std::uint8_t* bgr, int width, int height,
                                     std::size_t stride, int quality,
                                     std::vector<std::uint8_t>& file, std::string& error);

private:
    [[nodiscard]] bool decode(const std::uint8_t* bytes, std::size_t size,
                              const RegionChooser* choose, const LayoutCheck* check,
                              const RowSink* sink, std::string& error);

    int width_ = 0;
    int height_ = 0;
    int regionX_ = 0;
    int regionY_ = 0;
    int regionWidth_ = 0;
    int regionHeight_ = 0;
    std::vector<std::uint8_t> bgr_;
};

}  // namespace framesifter
