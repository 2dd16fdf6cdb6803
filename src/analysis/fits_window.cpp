#include "fits_window.h"

#include "fits_reader.h"

namespace {

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

}  // namespace

WindowRead FitsWindowFromSource(const ByteSource& source, WindowMode mode, int N,
                                FrameReader& reader, IntPlane& window, int& width, int& height,
                                std::string& error) {
    const std::uint8_t* bytes = source.memory();
    if (!bytes) {
        if (!reader.hold.holdTotal(std::size_t(source.size()), error)) return WindowRead::Unreadable;
        if (ReadAllBytes(source, reader.frame.fileBytes, error) != 0) return WindowRead::Unreadable;
        bytes = reader.frame.fileBytes.data();
    }
    const std::size_t size = std::size_t(source.size());
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
