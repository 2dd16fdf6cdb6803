#include "bmp_reader.h"

#include "file_io.h"
#include "frame_format.h"

#include <QBuffer>
#include <algorithm>
#include <QByteArray>
#include <QImageReader>

namespace framesifter {

namespace {

// QImage holds 24-bit pixels as 32 bits; the largest frame of those is 1000 MiB.
constexpr int kAllocationLimitMiB = 1024;
static_assert(kMaxFramePixels * 4 <= std::uint64_t(kAllocationLimitMiB) << 20);

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}
std::uint16_t Le16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

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
    // Qt reads the two short version 2 and 3 headers as the old 12-byte one.
    if (infoSize == 52 || infoSize == 56) planes = Le16(bytes + 22);
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

bool ReadBmp(const std::uint8_t* bytes, std::size_t size, QImage& image, std::string& error) {
    if (!CheckBmpHeaders(bytes, size, error)) return false;
    const QByteArray data =
        QByteArray::fromRawData(reinterpret_cast<const char*>(bytes), qsizetype(size));
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    // Only the BMP reader: a file of another format under a .bmp name is refused.
    QImageReader reader(&buffer, "bmp");
    reader.setAutoDetectImageFormat(false);
    reader.setAutoTransform(false);
    reader.setAllocationLimit(kAllocationLimitMiB);
    // Qt's reader writes into an image it is given when size and format match, and leaves
    // pixels that run-length data skips as they were: start them at 0, not at whatever
    // the memory held.
    QImage result;
    QSize declared = reader.size();
    // A file storing its top row first declares a negative height.
    if (declared.height() < 0) declared.setHeight(-declared.height());
    const QImage::Format format = reader.imageFormat();
    if (declared.isValid() && format != QImage::Format_Invalid) {
        result = QImage(declared, format);
        if (result.isNull()) return Fail(error, "not enough memory for the BMP image");
        result.fill(0);
    }
    if (!reader.read(&result) || result.isNull())
        return Fail(error, "not a readable BMP file: " + reader.errorString().toStdString());
    image = result;
    return true;
}

bool ReadBmpFile(const std::string& path, QImage& image, std::string& error) {
    // Through ByteSource: a named pipe called *.bmp is refused instead of waited on, and the
    // headers are checked before the rest of the file is read.
    ByteSource source;
    if (!source.open(path, error)) return false;
    std::vector<std::uint8_t> head;
    const std::size_t headSize =
        std::size_t(std::min<std::uint64_t>(source.size(), kBmpHeadersBytes));
    const std::uint8_t* start = source.view(0, headSize, head, error);
    if (!start) return false;
    BmpHeaders headers;
    if (!ParseBmpHeaders(start, headSize, source.size(), headers, error)) return false;
    std::vector<std::uint8_t> bytes;
    if (!ReadAllBytes(source, bytes, error)) return false;
    return ReadBmp(bytes.data(), bytes.size(), image, error);
}

}  // namespace framesifter
