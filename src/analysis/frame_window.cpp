#include "frame_window.h"

#include "fits_reader.h"

#include <cctype>

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsFitsExtension(const std::string& ext) {
    return ext == ".fit" || ext == ".fts" || ext == ".fits";
}

// Centre mode needs only the window's rows and block columns of a JPEG; libjpeg skips the
// rest. The pixels are those of a full decode.
WindowRead JpegCentreWindow(const std::uint8_t* bytes, std::size_t size, int N,
                            FrameReader& reader, IntPlane& window, int& width, int& height,
                            std::string& error) {
    JpegImage& jpeg = reader.decoder;
    if (!jpeg.loadMemoryCentre(bytes, size, N, N)) {
        error = jpeg.error();
        return WindowRead::Unreadable;
    }
    width = jpeg.width();
    height = jpeg.height();
    if (width < N || height < N) return WindowRead::TooSmall;
    if (jpeg.regionWidth() != N || jpeg.regionHeight() != N ||
        jpeg.regionX() != (width - N) / 2 || jpeg.regionY() != (height - N) / 2) {
        error = "the JPEG decoder returned another region than the window";
        return WindowRead::Unreadable;
    }
    const std::uint8_t* rows = jpeg.bgr().data();
    const std::size_t stride = jpeg.stride();
    for (int j = 0; j < N; ++j) {
        const std::uint8_t* green = rows + std::size_t(j) * stride + 1;
        for (int i = 0; i < N; ++i) window[i][j] = green[std::size_t(i) * 3];
    }
    return WindowRead::Ok;
}

// The sums over the folded values in the order of the file: rows from the top, columns
// left to right, exactly as the corner rule for a decoded plane adds them up.
void CentroidSums(const std::uint8_t* data, const FitsHeader& header, double& s, double& sx,
                  double& sy) {
    s = sx = sy = 0;
    const std::int32_t z = header.bzero;
    const std::uint8_t* p = data;
    for (int y = 0; y < header.height; ++y) {
        for (int x = 0; x < header.width; ++x, p += 2) {
            const double v = FoldBzero(std::int32_t(p[0]) << 8 | p[1], z);
            s += v;
            sx += v * x;
            sy += v * y;
        }
    }
}

WindowRead FitsWindow(const std::uint8_t* bytes, std::size_t size, WindowMode mode, int N,
                      IntPlane& window, int& width, int& height, std::string& error) {
    FitsHeader header;
    if (ParseFitsHeader(bytes, size, header, error) != 0) return WindowRead::Unreadable;
    width = header.width;
    height = header.height;
    if (width < N || height < N) return WindowRead::TooSmall;
    int x0 = (width - N) / 2, y0 = (height - N) / 2;
    if (mode == WindowMode::Peak) {
        double s, sx, sy;
        CentroidSums(bytes + header.dataOffset, header, s, sx, sy);
        CornerFromCentroid(s, sx, sy, width, height, N, x0, y0);
    }
    if (DecodeFitsWindow(bytes, size, header, x0, y0, N, window, error) != 0)
        return WindowRead::Unreadable;
    return WindowRead::Ok;
}

}  // namespace

WindowRead WindowFromMemory(const std::uint8_t* bytes, std::size_t size,
                            const std::string& extension, WindowMode mode, int N,
                            FrameReader& reader, IntPlane& window, int& width, int& height,
                            std::string& error) {
    error.clear();
    const std::string lower = Lower(extension);
    if (IsFitsExtension(lower))
        return FitsWindow(bytes, size, mode, N, window, width, height, error);
    if (mode == WindowMode::Centre && (lower == ".jpg" || lower == ".jpeg"))
        return JpegCentreWindow(bytes, size, N, reader, window, width, height, error);
    Frame& frame = reader.frame;
    if (LoadFrameFromMemory(bytes, size, extension, reader.decoder, frame, error) != 0)
        return WindowRead::Unreadable;
    width = frame.width;
    height = frame.height;
    if (width < N || height < N) return WindowRead::TooSmall;
    int x0 = 0, y0 = 0;
    WindowCorner(frame, N, mode, x0, y0);
    CopyWindow(frame, x0, y0, N, window);
    return WindowRead::Ok;
}

WindowRead ReadFrameWindow(const std::string& path, WindowMode mode, int N, FrameReader& reader,
                           IntPlane& window, int& width, int& height, std::string& error) {
    const std::string extension = FileExtension(path);
    const std::string lower = Lower(extension);
    if (!IsFitsExtension(lower) && lower != ".bmp" && lower != ".jpg" && lower != ".jpeg") {
        error = "not a BMP, JPEG or FITS file name";
        return WindowRead::Unreadable;
    }
    std::vector<std::uint8_t>& bytes = reader.frame.fileBytes;
    if (ReadWholeFile(path, bytes, error) != 0) return WindowRead::Unreadable;
    return WindowFromMemory(bytes.data(), bytes.size(), extension, mode, N, reader, window,
                            width, height, error);
}
