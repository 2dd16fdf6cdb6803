#include "frame_window.h"

#include "fits_reader.h"

#include <cctype>

namespace {

bool IsFitsExtension(std::string ext) {
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".fit" || ext == ".fts" || ext == ".fits";
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

WindowRead ReadFitsWindow(const std::string& path, WindowMode mode, int N, FrameReader& reader,
                          IntPlane& window, int& width, int& height, std::string& error) {
    std::vector<std::uint8_t>& bytes = reader.frame.fileBytes;
    if (ReadWholeFile(path, bytes, error) != 0) return WindowRead::Unreadable;
    FitsHeader header;
    if (ParseFitsHeader(bytes.data(), bytes.size(), header, error) != 0)
        return WindowRead::Unreadable;
    width = header.width;
    height = header.height;
    if (width < N || height < N) return WindowRead::TooSmall;
    int x0 = (width - N) / 2, y0 = (height - N) / 2;
    if (mode == WindowMode::Peak) {
        double s, sx, sy;
        CentroidSums(bytes.data() + header.dataOffset, header, s, sx, sy);
        CornerFromCentroid(s, sx, sy, width, height, N, x0, y0);
    }
    if (DecodeFitsWindow(bytes.data(), bytes.size(), header, x0, y0, N, window, error) != 0)
        return WindowRead::Unreadable;
    return WindowRead::Ok;
}

}  // namespace

WindowRead ReadFrameWindow(const std::string& path, WindowMode mode, int N, FrameReader& reader,
                           IntPlane& window, int& width, int& height, std::string& error) {
    error.clear();
    const std::string extension = FileExtension(path);
    if (IsFitsExtension(extension))
        return ReadFitsWindow(path, mode, N, reader, window, width, height, error);
    Frame& frame = reader.frame;
    if (LoadFrameForAnalysis(path, extension, reader.decoder, frame, error) != 0)
        return WindowRead::Unreadable;
    width = frame.width;
    height = frame.height;
    if (width < N || height < N) return WindowRead::TooSmall;
    int x0 = 0, y0 = 0;
    WindowCorner(frame, N, mode, x0, y0);
    CopyWindow(frame, x0, y0, N, window);
    return WindowRead::Ok;
}
