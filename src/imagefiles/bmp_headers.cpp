#include "bmp_headers.h"
#include "reason.h"

#include "file_io.h"
#include "frame_limits.h"

namespace framesifter {

namespace {

std::uint32_t Le32(const std::uint8_t* p) { return BmpLe32(p); }
std::uint16_t Le16(const std::uint8_t* p) { return std::uint16_t(BmpLe16(p)); }

}  // namespace

bool ParseBmpHeaders(const std::uint8_t* bytes, std::size_t headSize, std::uint64_t size,
                     BmpHeaders& headers, std::string& error) {
    if (size < 18 || headSize < 18 || bytes[0] != 'B' || bytes[1] != 'M')
        return Fail(error, Reason(ReasonKind::NotBmp));
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
        return Fail(error, Reason(ReasonKind::BmpHeaderSize, {infoSize}));
    }
    if (size < 14 + std::uint64_t(infoSize) || headSize < 14 + std::size_t(infoSize))
        return Fail(error, Reason(ReasonKind::BmpHeaderCut));
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
    if (width < 1 || height < 1) return Fail(error, Reason(ReasonKind::BmpSize, {width, height}));
    if (std::uint64_t(width) * std::uint64_t(height) > kMaxFramePixels)
        return Fail(error, TooLargeReason(width, height));
    if (planes != 1) return Fail(error, Reason(ReasonKind::BmpPlanes, {planes}));
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Fail(error, Reason(ReasonKind::BmpDepth, {bits}));
    const bool runLength = (compression == 1 && bits == 8) || (compression == 2 && bits == 4);
    const bool masks = (compression == 3 || compression == 6) && (bits == 16 || bits == 32);
    if (compression != 0 && !runLength && !masks)
        return Fail(error, Reason(ReasonKind::BmpCompression, {compression, bits}));
    // The masks follow a 40-byte header, and are part of the longer ones.
    headers.maskBytesAfterHeader = 0;
    if (masks) {
        const std::uint32_t after = infoSize == 40 ? (compression == 6 ? 16 : 12) : 0;
        if (size < 14 + std::uint64_t(infoSize) + after || headSize < 54 + 12)
            return Fail(error, Reason(ReasonKind::BmpMasksCut));
        for (int i = 0; i < 3; ++i) headers.masks[i] = Le32(bytes + 54 + 4 * i);
        headers.maskBytesAfterHeader = after;
    } else if (bits == 16) {
        headers.masks[0] = 0x7c00u, headers.masks[1] = 0x03e0u, headers.masks[2] = 0x001fu;
    } else if (bits == 32) {
        headers.masks[0] = 0xff0000u, headers.masks[1] = 0xff00u, headers.masks[2] = 0xffu;
    }
    if (dataOffset < 14 + infoSize || dataOffset > size)
        return Fail(error, Reason(ReasonKind::BmpDataOffset, {dataOffset}));
    if (!runLength) {
        const long long rowBytes = (width * bits + 31) / 32 * 4;
        const long long needed = (long long)dataOffset + rowBytes * height;
        if ((long long)size < needed)
            return Fail(error, Reason(ReasonKind::TruncatedBytes, {size, needed}));
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

}  // namespace framesifter
