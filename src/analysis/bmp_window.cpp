#include "bmp_window.h"

#include "bmp_reader.h"
#include "bmp_rle.h"
#include "green_peak.h"
#include "file_io.h"
#include "window_copy.h"

#include <QImage>

#include <algorithm>

namespace framesifter {

namespace {

// Rows are read in pieces of about this size, so a reader's memory does not grow with the
// frame.
constexpr std::size_t kChunkBytes = std::size_t(1) << 20;

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// How the pixels are read: straight from the rows, by run-length decoding, or by Qt's
// reader when the file is of a kind the direct readers do not take.
enum class Route { Rows, RunLength, Qt };

// What the direct readers know of a file beyond its headers.
struct Layout {
    std::uint64_t pixelStart = 0;
    std::size_t rowBytes = 0;
    int bytesPerPixel = 0;         // 0: palette indices
    std::uint8_t green[256] = {};  // a palette's green values; indices beyond it are black
};

Route RouteFor(const BmpHeaders& h, const std::uint8_t* head) {
    // Qt reads the 52 and 56-byte headers as the old 12-byte one, and that one's sizes as
    // signed numbers.
    if (h.infoSize == 52 || h.infoSize == 56) return Route::Qt;
    if (h.infoSize == 12 && (h.width >= 0x8000 || h.height >= 0x8000)) return Route::Qt;
    if (h.infoSize == 124 && Le32(head + 14 + 120) != 0) return Route::Qt;
    if (h.runLength) return Route::RunLength;
    if (h.compression != 0) return Route::Qt;
    // A version 4 or 5 header with an alpha mask makes Qt keep the alpha channel.
    if (h.bits == 32 && h.infoSize >= 108 && Le32(head + 14 + 52) == 0xff000000u) return Route::Qt;
    return h.bits == 8 || h.bits == 24 || h.bits == 32 ? Route::Rows : Route::Qt;
}

// The palette and where the pixels start, as Qt's reader finds them: after the palette even
// when the data offset points into it. False with a reason for what Qt refuses.
bool ReadLayout(const ByteSource& source, const BmpHeaders& h, std::vector<std::uint8_t>& scratch,
                Layout& layout, std::string& error) {
    std::uint64_t end = 14 + std::uint64_t(h.infoSize);
    if (h.bits <= 8) {
        const std::uint32_t colours = h.colorsUsed ? h.colorsUsed : 1u << h.bits;
        if (colours > 256) {
            return Fail(error,
                        "BMP palette of " + std::to_string(colours) + " colours (at most 256)");
        }
        const std::size_t entry = h.infoSize == 12 ? 3 : 4;
        // Qt also refuses a palette that ends where the file ends.
        if (end + colours * entry >= source.size()) {
            return Fail(error, "the BMP palette is cut off");
        }
        const std::uint8_t* palette = source.view(end, colours * entry, scratch, error);
        if (!palette) return false;
        for (std::uint32_t i = 0; i < colours; ++i) layout.green[i] = palette[i * entry + 1];
        end += colours * entry;
    } else {
        layout.bytesPerPixel = h.bits / 8;
    }
    layout.pixelStart = std::max<std::uint64_t>(h.dataOffset, end);
    layout.rowBytes = (std::size_t(h.width) * std::size_t(h.bits) + 31) / 32 * 4;
    return true;
}

std::uint8_t Green(const std::uint8_t* row, int x, const Layout& layout) {
    return layout.bytesPerPixel ? row[std::size_t(x) * std::size_t(layout.bytesPerPixel) + 1]
                                : layout.green[row[x]];
}

void OfferRowOfPixels(GreenPeak& peak, const std::uint8_t* row, int width, int y,
                      const Layout& layout) {
    switch (layout.bytesPerPixel) {
    case 3:
        peak.offerRow(width, y, [row](int x) { return row[std::size_t(x) * 3 + 1]; });
        break;
    case 4:
        peak.offerRow(width, y, [row](int x) { return row[std::size_t(x) * 4 + 1]; });
        break;
    default:
        peak.offerRow(width, y, [row, &layout](int x) { return layout.green[row[x]]; });
    }
}

void CopyRow(const std::uint8_t* row, int x0, int j, int N, const Layout& layout,
             IntPlane& window) {
    for (int i = 0; i < N; ++i) window[i][j] = Green(row, x0 + i, layout);
}

// Row `row`'s green values of columns x0..x0+N-1 into out[0..N-1].
void GatherGreens(const std::uint8_t* row, int x0, int N, const Layout& layout, std::uint8_t* out) {
    switch (layout.bytesPerPixel) {
    case 3:
        for (int i = 0; i < N; ++i) out[i] = row[std::size_t(x0 + i) * 3 + 1];
        break;
    case 4:
        for (int i = 0; i < N; ++i) out[i] = row[std::size_t(x0 + i) * 4 + 1];
        break;
    default:
        for (int i = 0; i < N; ++i) out[i] = layout.green[row[x0 + i]];
    }
}

// The image row stored as the file's row (or decoded row) `r`.
int ImageRow(const BmpHeaders& h, int r) { return h.topDown ? r : h.height - 1 - r; }

// Calls each(fileRow, bytes) for the file rows first..first+count-1, in pieces.
template <typename Each>
bool ForRows(const ByteSource& source, const Layout& layout, int first, int count,
             std::vector<std::uint8_t>& scratch, std::string& error, Each each) {
    const int perChunk = int(std::max<std::size_t>(1, kChunkBytes / layout.rowBytes));
    for (int r = first; r < first + count; r += perChunk) {
        const int n = std::min(perChunk, first + count - r);
        const std::uint8_t* rows =
            source.view(layout.pixelStart + std::uint64_t(r) * layout.rowBytes,
                        std::size_t(n) * layout.rowBytes, scratch, error);
        if (!rows) return false;
        for (int k = 0; k < n; ++k) each(r + k, rows + std::size_t(k) * layout.rowBytes);
    }
    return true;
}

WindowRead RowsWindow(const ByteSource& source, const BmpHeaders& h, const Layout& layout,
                      WindowMode mode, int N, std::vector<std::uint8_t>& scratch, IntPlane& window,
                      std::string& error) {
    int x0 = (h.width - N) / 2, y0 = (h.height - N) / 2;
    if (mode == WindowMode::Peak) {
        GreenPeak peak;
        if (!ForRows(source, layout, 0, h.height, scratch, error,
                     [&](int r, const std::uint8_t* row) {
                         OfferRowOfPixels(peak, row, h.width, ImageRow(h, r), layout);
                     }))
            return WindowRead::Unreadable;
        CornerAtGreenPeak(peak, h.width, h.height, N, x0, y0);
    }
    // The green values are gathered row by row, then written to the column-major window in
    // bands of 16 rows: writing a row straight into the window touches a cache line per pixel.
    thread_local std::vector<std::uint8_t> greens;
    greens.resize(std::size_t(N) * std::size_t(N));
    const int first = h.topDown ? y0 : h.height - y0 - N;
    if (!ForRows(source, layout, first, N, scratch, error, [&](int r, const std::uint8_t* row) {
            GatherGreens(row, x0, N, layout, greens.data() + std::size_t(ImageRow(h, r) - y0) * N);
        }))
        return WindowRead::Unreadable;
    SamplesToWindow(greens.data(), N, 1, N, window);
    return WindowRead::Ok;
}

// Run-length data are decoded twice in peak mode: once for the peak, once for the window.
WindowRead RunLengthWindow(const ByteSource& source, const BmpHeaders& h, const Layout& layout,
                           WindowMode mode, int N, std::vector<std::uint8_t>& scratch,
                           IntPlane& window, bool& irregular, std::string& error) {
    const bool small = h.width < N || h.height < N;
    int x0 = (h.width - N) / 2, y0 = (h.height - N) / 2;
    auto decode = [&](const std::function<void(int, const std::uint8_t*)>& row) {
        const RleResult result = DecodeBmpRunLength(source, layout.pixelStart, h.width, h.height,
                                                    h.bits, scratch, row, error);
        irregular = result == RleResult::Irregular;
        return result == RleResult::Ok;
    };
    if (mode == WindowMode::Peak && !small) {
        GreenPeak peak;
        std::vector<bool> written(std::size_t(h.height), false);
        if (!decode([&](int r, const std::uint8_t* row) {
                const int y = ImageRow(h, r);
                written[std::size_t(y)] = true;
                OfferRowOfPixels(peak, row, h.width, y, layout);
            }))
            return WindowRead::Unreadable;
        // Rows the data never reach hold index 0.
        const auto blank = std::find(written.begin(), written.end(), false);
        if (blank != written.end()) peak.offer(layout.green[0], 0, int(blank - written.begin()));
        CornerAtGreenPeak(peak, h.width, h.height, N, x0, y0);
    }
    if (small) {  // the data are still decoded: Qt refuses some streams
        if (!decode([](int, const std::uint8_t*) {})) return WindowRead::Unreadable;
        return WindowRead::TooSmall;
    }
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) window[i][j] = layout.green[0];
    if (!decode([&](int r, const std::uint8_t* row) {
            const int j = ImageRow(h, r) - y0;
            if (j >= 0 && j < N) CopyRow(row, x0, j, N, layout, window);
        }))
        return WindowRead::Unreadable;
    return WindowRead::Ok;
}

// What Qt's path holds at its peak: the file's bytes, Qt's image and its 24-bit conversion.
std::size_t QtPathBytes(const ByteSource& source, const BmpHeaders& h) {
    const std::size_t w = std::size_t(h.width), rows = std::size_t(h.height);
    const std::size_t image = h.bits > 8 ? 4 * w : h.bits > 1 ? (w + 3) / 4 * 4 : (w + 31) / 32 * 4;
    const std::size_t file = source.memory() ? 0 : std::size_t(source.size());
    return file + rows * (image + (3 * w + 3) / 4 * 4);
}

// Kinds the direct readers do not take go through Qt's reader; the window is then taken
// from the converted image itself, with the same rules, rather than from a copy of it.
WindowRead QtWindow(const ByteSource& source, const BmpHeaders& h, WindowMode mode, int N,
                    FrameReader& reader, IntPlane& window, int& width, int& height,
                    std::string& error) {
    if (!reader.hold.holdTotal(QtPathBytes(source, h), error)) return WindowRead::Unreadable;
    const std::uint8_t* bytes = source.memory();
    if (!bytes) {
        if (!ReadAllBytes(source, reader.frame.fileBytes, error)) return WindowRead::Unreadable;
        bytes = reader.frame.fileBytes.data();
    }
    QImage image;
    const bool read = ReadBmp(bytes, std::size_t(source.size()), image, error);
    std::vector<std::uint8_t>().swap(reader.frame.fileBytes);
    if (!read) return WindowRead::Unreadable;
    // Palette and 16/32-bit images take their colours here; alpha is dropped.
    if (image.format() != QImage::Format_BGR888) image.convertTo(QImage::Format_BGR888);
    if (image.isNull()) {
        error = "out of memory converting the BMP image";
        return WindowRead::Unreadable;
    }
    width = image.width();
    height = image.height();
    if (width < N || height < N) return WindowRead::TooSmall;
    int x0 = (width - N) / 2, y0 = (height - N) / 2;
    if (mode == WindowMode::Peak) {
        Layout bgr;
        bgr.bytesPerPixel = 3;
        GreenPeak peak;
        for (int y = 0; y < height; ++y)
            OfferRowOfPixels(peak, image.constScanLine(y), width, y, bgr);
        CornerAtGreenPeak(peak, width, height, N, x0, y0);
    }
    SamplesToWindow(image.constScanLine(y0) + std::size_t(x0) * 3 + 1,
                    std::ptrdiff_t(image.bytesPerLine()), 3, N, window);
    return WindowRead::Ok;
}

}  // namespace

WindowRead BmpWindowFromSource(const ByteSource& source, WindowMode mode, int N,
                               FrameReader& reader, IntPlane& window, int& width, int& height,
                               std::string& error) {
    std::vector<std::uint8_t>& scratch = reader.scratch;
    const std::size_t headSize =
        std::size_t(std::min<std::uint64_t>(source.size(), kBmpHeadersBytes));
    const std::uint8_t* head = source.view(0, headSize, scratch, error);
    if (!head) return WindowRead::Unreadable;
    BmpHeaders h;
    if (!ParseBmpHeaders(head, headSize, source.size(), h, error)) return WindowRead::Unreadable;
    const Route route = RouteFor(h, head);
    if (route == Route::Qt)
        return QtWindow(source, h, mode, N, reader, window, width, height, error);
    Layout layout;
    if (!ReadLayout(source, h, scratch, layout, error)) return WindowRead::Unreadable;
    if (route == Route::Rows) {
        // Rows that run past the end: Qt keeps what it read and leaves the rest.
        if (layout.pixelStart + std::uint64_t(layout.rowBytes) * std::uint64_t(h.height) >
            source.size())
            return QtWindow(source, h, mode, N, reader, window, width, height, error);
        width = h.width;
        height = h.height;
        if (width < N || height < N) return WindowRead::TooSmall;
        return RowsWindow(source, h, layout, mode, N, scratch, window, error);
    }
    bool irregular = false;
    const WindowRead read =
        RunLengthWindow(source, h, layout, mode, N, scratch, window, irregular, error);
    if (irregular) {
        error.clear();
        return QtWindow(source, h, mode, N, reader, window, width, height, error);
    }
    width = h.width;
    height = h.height;
    return read;
}

}  // namespace framesifter
