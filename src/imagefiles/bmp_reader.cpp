#include "bmp_reader.h"

#include "bmp_layout.h"
#include "bmp_rle.h"
#include "file_io.h"
#include "frame_format.h"

#include <algorithm>
#include <cstring>

namespace framesifter {

namespace {

std::uint32_t Le32(const std::uint8_t* p) { return BmpLe32(p); }
std::uint16_t Le16(const std::uint8_t* p) { return std::uint16_t(BmpLe16(p)); }

}  // namespace

bool ParseBmpHeaders(const std::uint8_t* bytes, std::size_t headSize, std::uint64_t size,
                     BmpHeaders& headers, std::string& error) {
    if (size < 18 || headSize < 18 || bytes[0] != 'B' || bytes[1] != 'M')
        return Fail(error, "not a BMP file");
    const std::uint32_t dataOffset = Le32(bytes + 10);
    const std::uint32_t infoSize = Le32(bytes + 14);
    switch (infoSize) {
    case 12:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
        break;
    default:
        return Fail(error, "unknown BMP header size " + std::to_string(infoSize));
    }
    if (size < 14 + std::uint64_t(infoSize) || headSize < 14 + std::size_t(infoSize))
        return Fail(error, "the BMP header is cut off");
    long long width, height;
    int bits, planes;
    std::uint32_t compression = 0, colorsUsed = 0;
    if (infoSize == 12) {
        width = Le16(bytes + 18);
        height = Le16(bytes + 20);
        planes = Le16(bytes + 22);
        bits = Le16(bytes + 24);
    } else {
        width = std::int32_t(Le32(bytes + 18));
        height = std::int32_t(Le32(bytes + 22));
        planes = Le16(bytes + 26);
        bits = Le16(bytes + 28);
        compression = Le32(bytes + 30);
        colorsUsed = Le32(bytes + 46);
    }
    const bool topDown = height < 0;
    if (height < 0) height = -height;
    if (width < 1 || height < 1)
        return Fail(error, "BMP size " + std::to_string(width) + " x " + std::to_string(height));
    if (std::uint64_t(width) * std::uint64_t(height) > kMaxFramePixels)
        return Fail(error, TooLargeReason(width, height));
    if (planes != 1) return Fail(error, "BMP with " + std::to_string(planes) + " planes");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Fail(error, "unsupported BMP depth of " + std::to_string(bits) + " bits");
    const bool runLength = (compression == 1 && bits == 8) || (compression == 2 && bits == 4);
    const bool masks = (compression == 3 || compression == 6) && (bits == 16 || bits == 32);
    if (compression != 0 && !runLength && !masks)
        return Fail(error, "unsupported BMP compression " + std::to_string(compression) + " at " +
                               std::to_string(bits) + " bits");
    // The masks follow a 40-byte header, and are part of the longer ones.
    headers.maskBytesAfterHeader = 0;
    if (masks) {
        const std::uint32_t after = infoSize == 40 ? (compression == 6 ? 16 : 12) : 0;
        if (size < 14 + std::uint64_t(infoSize) + after || headSize < 54 + 12)
            return Fail(error, "the BMP's channel masks are cut off");
        for (int i = 0; i < 3; ++i) headers.masks[i] = Le32(bytes + 54 + 4 * i);
        headers.maskBytesAfterHeader = after;
    } else if (bits == 16) {
        headers.masks[0] = 0x7c00u, headers.masks[1] = 0x03e0u, headers.masks[2] = 0x001fu;
    } else if (bits == 32) {
        headers.masks[0] = 0xff0000u, headers.masks[1] = 0xff00u, headers.masks[2] = 0xffu;
    }
    if (dataOffset < 14 + infoSize || dataOffset > size)
        return Fail(error, "the BMP pixel data offset " + std::to_string(dataOffset) +
                               " lies outside the file");
    if (!runLength) {
        const long long rowBytes = (width * bits + 31) / 32 * 4;
        const long long needed = (long long)dataOffset + rowBytes * height;
        if ((long long)size < needed)
            return Fail(error, "truncated: " + std::to_string(size) + " of " +
                                   std::to_string(needed) + " bytes present");
    }
    headers.dataOffset = dataOffset;
    headers.infoSize = infoSize;
    headers.width = int(width);
    headers.height = int(height);
    headers.topDown = topDown;
    headers.bits = bits;
    headers.compression = compression;
    headers.colorsUsed = colorsUsed;
    headers.runLength = runLength;
    return true;
}

bool CheckBmpHeaders(const std::uint8_t* bytes, std::size_t size, std::string& error) {
    BmpHeaders headers;
    return ParseBmpHeaders(bytes, size, size, headers, error);
}

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
    if (result.isNull()) return Fail(error, "not enough memory for the BMP image");
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
