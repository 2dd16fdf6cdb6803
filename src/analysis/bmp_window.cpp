#include "bmp_window.h"

#include "bmp_layout.h"
#include "bmp_reader.h"
#include "bmp_rle.h"
#include "green_peak.h"
#include "file_io.h"
#include "window_copy.h"

#include <algorithm>

namespace framesifter {

namespace {

// Rows are read in pieces of about this size, so a reader's memory does not grow with the
// frame.
constexpr std::size_t kChunkBytes = std::size_t(1) << 20;

void OfferRowOfPixels(GreenPeak& peak, FrameBorder& border, const std::uint8_t* row, int width,
                      int y, const BmpLayout& layout) {
    WithBmpGreen(layout, row, [&](auto greenAt) {
        peak.offerRow(width, y, greenAt);
        border.offerRow(y, greenAt);
    });
}

// Row `row`'s green values of columns x0..x0+N-1 into out[0..N-1].
void GatherGreens(const std::uint8_t* row, int x0, int N, const BmpLayout& layout,
                  std::uint8_t* out) {
    WithBmpGreen(layout, row, [&](auto greenAt) {
        for (int i = 0; i < N; ++i) out[i] = std::uint8_t(greenAt(x0 + i));
    });
}

// The image row stored as the file's row (or decoded row) `r`.
int ImageRow(const BmpHeaders& h, int r) { return h.topDown ? r : h.height - 1 - r; }

// Calls piece(firstRow, rowCount, bytes) for the file rows first..first+count-1 read in
// pieces of about kChunkBytes.
template <typename Piece>
bool ForPieces(const ByteSource& source, const BmpLayout& layout, int first, int count,
               std::vector<std::uint8_t>& scratch, std::string& error, Piece piece) {
    const int perChunk = int(std::max<std::size_t>(1, kChunkBytes / layout.rowBytes));
    for (int r = first; r < first + count; r += perChunk) {
        const int n = std::min(perChunk, first + count - r);
        const std::uint8_t* rows =
            source.view(layout.pixelStart + std::uint64_t(r) * layout.rowBytes,
                        std::size_t(n) * layout.rowBytes, scratch, error);
        if (!rows) return false;
        piece(r, n, rows);
    }
    return true;
}

// Calls each(fileRow, bytes) for the file rows first..first+count-1.
template <typename Each>
bool ForRows(const ByteSource& source, const BmpLayout& layout, int first, int count,
             std::vector<std::uint8_t>& scratch, std::string& error, Each each) {
    return ForPieces(source, layout, first, count, scratch, error,
                     [&](int r, int n, const std::uint8_t* rows) {
                         for (int k = 0; k < n; ++k)
                             each(r + k, rows + std::size_t(k) * layout.rowBytes);
                     });
}

WindowRead RowsWindow(const ByteSource& source, const BmpHeaders& h, const BmpLayout& layout,
                      WindowMode mode, int N, std::vector<std::uint8_t>& scratch,
                      FrameBorder& border, IntPlane& window, std::string& error) {
    int x0 = (h.width - N) / 2, y0 = (h.height - N) / 2;
    if (mode == WindowMode::Peak) {
        GreenPeak peak;
        border.start(h.width, h.height);
        if (!ForRows(source, layout, 0, h.height, scratch, error,
                     [&](int r, const std::uint8_t* row) {
                         OfferRowOfPixels(peak, border, row, h.width, ImageRow(h, r), layout);
                     }))
            return WindowRead::Unreadable;
        CornerAtGreenPeak(peak, h.width, h.height, N, x0, y0);
    }
    const int first = h.topDown ? y0 : h.height - y0 - N;
    // Whole bytes of green, or palette indices of 8 bits: from the rows read straight into the
    // column-major window, in bands of rows (a row written straight into it touches a cache
    // line per pixel).
    const bool direct = layout.kind == BmpPixels::Bgr24 || layout.kind == BmpPixels::Bgr32 ||
                        layout.kind == BmpPixels::Index8;
    if (direct) {
        const std::size_t step = layout.kind == BmpPixels::Index8  ? 1
                                 : layout.kind == BmpPixels::Bgr24 ? 3
                                                                   : 4;
        const std::size_t offset = std::size_t(x0) * step + (step > 1 ? 1 : 0);
        const std::uint8_t* lookup = layout.kind == BmpPixels::Index8 ? layout.green : nullptr;
        const std::ptrdiff_t stride = std::ptrdiff_t(layout.rowBytes);
        const bool read = ForPieces(
            source, layout, first, N, scratch, error, [&](int r, int n, const std::uint8_t* rows) {
                // Bottom-up files hold the window's rows last to first.
                if (h.topDown)
                    SampleRowsToWindow(rows + offset, stride, step, lookup, N, r - first, n,
                                       window);
                else
                    SampleRowsToWindow(rows + std::size_t(n - 1) * layout.rowBytes + offset,
                                       -stride, step, lookup, N, first + N - r - n, n, window);
            });
        return read ? WindowRead::Ok : WindowRead::Unreadable;
    }
    thread_local std::vector<std::uint8_t> greens;
    greens.resize(std::size_t(N) * std::size_t(N));
    if (!ForRows(source, layout, first, N, scratch, error, [&](int r, const std::uint8_t* row) {
            GatherGreens(row, x0, N, layout, greens.data() + std::size_t(ImageRow(h, r) - y0) * N);
        }))
        return WindowRead::Unreadable;
    SamplesToWindow(greens.data(), N, 1, N, window);
    return WindowRead::Ok;
}

// Run-length data are decoded twice in peak mode: once for the peak, once for the window.
// The decoder gives a palette index per byte whatever the depth.
WindowRead RunLengthWindow(const ByteSource& source, const BmpHeaders& h, BmpLayout layout,
                           WindowMode mode, int N, std::vector<std::uint8_t>& scratch,
                           FrameBorder& border, IntPlane& window, std::string& error) {
    layout.kind = BmpPixels::Index8;
    const bool small = h.width < N || h.height < N;
    int x0 = (h.width - N) / 2, y0 = (h.height - N) / 2;
    auto decode = [&](const std::function<void(int, const std::uint8_t*)>& row) {
        return DecodeBmpRunLength(source, layout.pixelStart, h.width, h.height, h.bits, scratch,
                                  row, error);
    };
    if (mode == WindowMode::Peak && !small) {
        GreenPeak peak;
        border.start(h.width, h.height);
        std::vector<bool> written(std::size_t(h.height), false);
        if (!decode([&](int r, const std::uint8_t* row) {
                const int y = ImageRow(h, r);
                written[std::size_t(y)] = true;
                OfferRowOfPixels(peak, border, row, h.width, y, layout);
            }))
            return WindowRead::Unreadable;
        // Rows the data never reach hold index 0.
        const auto blank = std::find(written.begin(), written.end(), false);
        if (blank != written.end()) peak.offer(layout.green[0], 0, int(blank - written.begin()));
        const int unwritten = layout.green[0];
        for (int y = 0; y < h.height; ++y)
            if (!written[std::size_t(y)])
                border.offerRow(y, [unwritten](int) { return unwritten; });
        CornerAtGreenPeak(peak, h.width, h.height, N, x0, y0);
    }
    if (small) {  // the data are still decoded: damaged ones are refused
        if (!decode([](int, const std::uint8_t*) {})) return WindowRead::Unreadable;
        return WindowRead::TooSmall;
    }
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) window[i][j] = layout.green[0];
    std::vector<std::uint8_t> greens(static_cast<std::size_t>(N));
    if (!decode([&](int r, const std::uint8_t* row) {
            const int j = ImageRow(h, r) - y0;
            if (j < 0 || j >= N) return;
            GatherGreens(row, x0, N, layout, greens.data());
            for (int i = 0; i < N; ++i) window[i][j] = greens[std::size_t(i)];
        }))
        return WindowRead::Unreadable;
    return WindowRead::Ok;
}

}  // namespace

WindowRead BmpWindowFromSource(const ByteSource& source, WindowMode mode, int N,
                               FrameReader& reader, IntPlane& window, int& width, int& height,
                               std::string& error) {
    std::vector<std::uint8_t>& scratch = reader.scratch;
    // One read takes the headers and the usual palette.
    const std::size_t headSize =
        std::size_t(std::min<std::uint64_t>(source.size(), kBmpHeadersAndPaletteBytes));
    const std::uint8_t* head = source.view(0, headSize, scratch, error);
    if (!head) return WindowRead::Unreadable;
    BmpHeaders h;
    if (!ParseBmpHeaders(head, headSize, source.size(), h, error)) return WindowRead::Unreadable;
    BmpLayout layout;
    if (!ReadBmpLayout(source, h, scratch, layout, error, head, headSize))
        return WindowRead::Unreadable;
    if (h.runLength) {
        const WindowRead read =
            RunLengthWindow(source, h, layout, mode, N, scratch, reader.border, window, error);
        if (read != WindowRead::Unreadable) {
            width = h.width;
            height = h.height;
        }
        return read;
    }
    width = h.width;
    height = h.height;
    if (width < N || height < N) return WindowRead::TooSmall;
    return RowsWindow(source, h, layout, mode, N, scratch, reader.border, window, error);
}

}  // namespace framesifter
