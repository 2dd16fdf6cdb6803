#include "bmp_reader.h"
#include "reason.h"

#include "bmp_layout.h"
#include "bmp_rle.h"
#include "file_io.h"
#include "frame_limits.h"

#include <algorithm>
#include <cstring>

namespace framesifter {

namespace {

// Qt's images address at most this much; the largest frame, in 32-bit pixels, stays below.
constexpr std::uint64_t kImageLimitBytes = std::uint64_t(1) << 30;

bool DecodeBmp(const ByteSource& source, QImage& image, std::string& error) {
    std::vector<std::uint8_t> scratch;
    const std::size_t headSize =
        std::size_t(std::min<std::uint64_t>(source.size(), kBmpHeadersBytes));
    const std::uint8_t* head = source.view(0, headSize, scratch, error);
    if (!head) return false;
    BmpHeaders h;
    if (!ParseBmpHeaders(head, headSize, source.size(), h, error)) return false;
    BmpLayout layout;
    if (!ReadBmpLayout(source, h, scratch, layout, error)) return false;
    const bool palette = h.bits <= 8;
    if (std::uint64_t(h.width) * 4 * std::uint64_t(h.height) > kImageLimitBytes)
        return Fail(error, TooLargeReason(h.width, h.height));
    QImage result(h.width, h.height, palette ? QImage::Format_Indexed8 : QImage::Format_RGB32);
    if (result.isNull()) return Fail(error, Reason(ReasonKind::NoMemoryBmp));

    if (palette) {
        QList<QRgb> colours(256);
        for (int i = 0; i < 256; ++i)
            colours[i] = qRgb(layout.palette[i][2], layout.palette[i][1], layout.palette[i][0]);
        result.setColorTable(colours);
    }
    auto imageRow = [&](int r) { return h.topDown ? r : h.height - 1 - r; };
    if (h.runLength) {
        result.fill(0);
        if (!DecodeBmpRunLength(
                source, layout.pixelStart, h.width, h.height, h.bits, scratch,
                [&](int r, const std::uint8_t* row) {
                    std::memcpy(result.scanLine(imageRow(r)), row, std::size_t(h.width));
                },
                error))
            return false;
        image = result;
        return true;
    }
    constexpr std::size_t kChunkBytes = std::size_t(1) << 20;
    std::vector<std::uint8_t> bgr(palette ? 0 : std::size_t(h.width) * 3);
    const int perChunk = int(std::max<std::size_t>(1, kChunkBytes / layout.rowBytes));
    for (int r = 0; r < h.height; r += perChunk) {
        const int n = std::min(perChunk, h.height - r);
        const std::uint8_t* rows =
            source.view(layout.pixelStart + std::uint64_t(r) * layout.rowBytes,
                        std::size_t(n) * layout.rowBytes, scratch, error);
        if (!rows) return false;
        for (int k = 0; k < n; ++k) {
            std::uint8_t* line = result.scanLine(imageRow(r + k));
            BmpRowPixels(layout, rows + std::size_t(k) * layout.rowBytes, h.width,
                         palette ? line : bgr.data());
            if (palette) continue;
            QRgb* out = reinterpret_cast<QRgb*>(line);
            for (int x = 0; x < h.width; ++x)
                out[x] = qRgb(bgr[3 * std::size_t(x) + 2], bgr[3 * std::size_t(x) + 1],
                              bgr[3 * std::size_t(x)]);
        }
    }
    image = result;
    return true;
}

}  // namespace

bool ReadBmp(const std::uint8_t* bytes, std::size_t size, QImage& image, std::string& error) {
    return DecodeBmp(ByteSource(bytes, size), image, error);
}

bool ReadBmpFile(const std::string& path, QImage& image, std::string& error) {
    // Through ByteSource: a named pipe called *.bmp is refused instead of waited on, and the
    // headers are checked before the rows are read.
    ByteSource source;
    if (!source.open(path, error)) return false;
    return DecodeBmp(source, image, error);
}

}  // namespace framesifter
