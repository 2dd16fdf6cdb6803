#pragma once
// One decoded frame for analysis: a 24-bit bitmap (BMP, JPEG) or an IntPlane (FITS).

#include "jpeg_image.h"
#include "planes.h"

#include <cstdint>
#include <string>
#include <vector>

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

// The whole file into `bytes`, whose capacity is kept from call to call. Refuses folders,
// devices and files larger than any frame can be.
int ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

// The part of the file name from its last dot on, dot included; "" when there is none.
std::string FileExtension(const std::string& path);

// Reads the frame chosen by the extension's spelling, compared without regard to case:
// .bmp; .jpg/.jpeg; .fit/.fts/.fits. Returns 0, or 1 with a short reason in `error`
// (unreadable, corrupt, unknown extension). `decoder` is reused across a run.
int LoadFrameForAnalysis(const std::string& path, const std::string& extension,
                         JpegImage& decoder, Frame& frame, std::string& error);
// The same on a file's bytes already in memory.
int LoadFrameFromMemory(const std::uint8_t* bytes, std::size_t size,
                        const std::string& extension, JpegImage& decoder, Frame& frame,
                        std::string& error);
