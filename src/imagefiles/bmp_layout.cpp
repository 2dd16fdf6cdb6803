#include "bmp_layout.h"
#include "reason.h"

#include "file_io.h"

#include <algorithm>
#include <cstring>

namespace framesifter {

namespace {

// A mask must be one run of bits within the pixel's `bits`.
bool MakeChannel(std::uint32_t mask, int bits, const char* name, BmpChannel& channel,
                 std::string& error) {
    channel = BmpChannel();
    if (mask == 0) return true;
    if (bits < 32 && (mask >> bits) != 0)
        return Fail(error, Reason(ReasonKind::BmpMaskOutside, {name, bits}));
    int shift = 0;
    while (!(mask >> shift & 1)) ++shift;
    const std::uint32_t top = mask >> shift;
    if ((top & (top + 1)) != 0) return Fail(error, Reason(ReasonKind::BmpMaskNotRun, {name}));
    channel.mask = mask;
    channel.shift = shift;
    channel.top = top;
    return true;
}

}  // namespace

bool ReadBmpLayout(const ByteSource& source, const BmpHeaders& h,
                   std::vector<std::uint8_t>& scratch, BmpLayout& layout, std::string& error,
                   const std::uint8_t* head, std::size_t headBytes) {
    std::uint64_t end = 14 + std::uint64_t(h.infoSize) + h.maskBytesAfterHeader;
    if (h.bits <= 8) {
        const std::uint32_t colours = h.colorsUsed ? h.colorsUsed : 1u << h.bits;
        if (colours > 256) return Fail(error, Reason(ReasonKind::BmpPaletteSize, {colours}));
        const std::size_t entry = h.infoSize == 12 ? 3 : 4;
        if (end + colours * entry > source.size())
            return Fail(error, Reason(ReasonKind::BmpPaletteCut));
        const std::uint8_t* palette = head && end + colours * entry <= headBytes
                                          ? head + end
                                          : source.view(end, colours * entry, scratch, error);
        if (!palette) return false;
        std::memset(layout.palette, 0, sizeof layout.palette);
        std::memset(layout.green, 0, sizeof layout.green);
        for (std::uint32_t i = 0; i < colours; ++i) {
            std::memcpy(layout.palette[i], palette + i * entry, 3);
            layout.green[i] = palette[i * entry + 1];
        }
        end += colours * entry;
        layout.kind = h.bits == 1   ? BmpPixels::Index1
                      : h.bits == 4 ? BmpPixels::Index4
                                    : BmpPixels::Index8;
    } else if (h.bits == 24) {
        layout.kind = BmpPixels::Bgr24;
    } else {
        if (!MakeChannel(h.masks[0], h.bits, "red", layout.red, error) ||
            !MakeChannel(h.masks[1], h.bits, "green", layout.greenChannel, error) ||
            !MakeChannel(h.masks[2], h.bits, "blue", layout.blue, error))
            return false;
        const bool plain =
            h.bits == 32 && h.masks[0] == 0xff0000u && h.masks[1] == 0xff00u && h.masks[2] == 0xffu;
        layout.kind = plain          ? BmpPixels::Bgr32
                      : h.bits == 16 ? BmpPixels::Masked16
                                     : BmpPixels::Masked32;
    }
    // Pixels never start inside the palette, whatever the data offset says.
    layout.pixelStart = std::max<std::uint64_t>(h.dataOffset, end);
    layout.rowBytes = (std::size_t(h.width) * std::size_t(h.bits) + 31) / 32 * 4;
    if (!h.runLength &&
        layout.pixelStart + std::uint64_t(layout.rowBytes) * std::uint64_t(h.height) >
            source.size())
        return Fail(error, Reason(ReasonKind::BmpRowsPastEnd));

    return true;
}

void BmpRowPixels(const BmpLayout& layout, const std::uint8_t* row, int width, std::uint8_t* out) {
    switch (layout.kind) {
    case BmpPixels::Bgr24:
        std::memcpy(out, row, std::size_t(width) * 3);
        break;
    case BmpPixels::Bgr32:
        for (int x = 0; x < width; ++x, out += 3) std::memcpy(out, row + std::size_t(x) * 4, 3);
        break;
    case BmpPixels::Index8:
        std::memcpy(out, row, std::size_t(width));
        break;
    case BmpPixels::Index4:
    case BmpPixels::Index1:
        for (int x = 0; x < width; ++x) out[x] = BmpIndex(row, x, layout.kind);
        break;
    case BmpPixels::Masked16:
    case BmpPixels::Masked32:
        for (int x = 0; x < width; ++x, out += 3) {
            const std::uint32_t p = layout.kind == BmpPixels::Masked16
                                        ? BmpLe16(row + std::size_t(x) * 2)
                                        : BmpLe32(row + std::size_t(x) * 4);
            out[0] = layout.blue(p);
            out[1] = layout.greenChannel(p);
            out[2] = layout.red(p);
        }
        break;
    }
}

}  // namespace framesifter
