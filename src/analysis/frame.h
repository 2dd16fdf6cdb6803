#pragma once
// One decoded frame for analysis: a 24-bit bitmap (BMP, JPEG) or an IntPlane (FITS).

#include "file_io.h"
#include "frame_formats.h"
#include "jpeg_image.h"
#include "planes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

enum class FrameKind { None, Bitmap, Fits };

struct Frame {
    FrameKind kind = FrameKind::None;
    int width = 0;
    int height = 0;
    // Bitmap: rows top first, three bytes per pixel (blue, green, red), stride = width * 3.
    std::vector<std::uint8_t> bgr;
    // FITS: plane[x][y] after the BZERO fold.
    IntPlane plane;
    // The file's bytes while it is decoded; kept from frame to frame to save allocations.
    std::vector<std::uint8_t> fileBytes;

    std::uint8_t green(int x, int y) const {
        return bgr[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3 + 1];
    }
    void clear() {
        kind = FrameKind::None;
        width = height = 0;
        bgr.clear();
        plane.release();
    }
};

// Reads the frame in the format FrameFormatOf(extension) names. False with a short reason
// in `error` (unreadable, corrupt, unknown extension), and an empty frame. `decoder` is
// reused across a run.
[[nodiscard]] bool LoadFrameForAnalysis(const std::string& path, const std::string& extension,
                                        JpegImage& decoder, Frame& frame, std::string& error);
// The same on a file's bytes already in memory.
[[nodiscard]] bool LoadFrameFromMemory(const std::uint8_t* bytes, std::size_t size,
                                       const std::string& extension, JpegImage& decoder,
                                       Frame& frame, std::string& error);

}  // namespace framesifter
