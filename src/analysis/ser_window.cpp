#include "ser_window.h"

#include "green_peak.h"
#include "ser_reader.h"

#include <algorithm>

namespace framesifter {

namespace {

// Peak mode reads the frame in pieces of about this size; a frame up to this size is read
// once for both the peak and the window.
constexpr std::size_t kChunkBytes = std::size_t(1) << 20;

// True when every partial centroid sum of the frame is an integer below 2^53: then adding
// in 64-bit integers gives the very bits the FITS rule's pixel by pixel double sums give.
bool SumsAreExactIntegers(int width, int height) {
    const double w = width, h = height;
    return 65535.0 * w * h * std::max({1.0, w - 1, h - 1}) < 9007199254740992.0;
}

struct PeakSearch {
    bool colour = false;
    bool exact = false;
    std::int64_t s = 0, sx = 0, sy = 0;
    double ds = 0, dsx = 0, dsy = 0;
    GreenPeak green;

    void offerRow(const std::int32_t* v, int width, int y) {
        if (colour) {
            green.offerRow(width, y, [v](int x) { return v[x]; });
        } else if (exact) {
            std::int64_t rowS = 0, rowSx = 0;
            for (int x = 0; x < width; ++x) {
                rowS += v[x];
                rowSx += std::int64_t(v[x]) * x;
            }
            s += rowS;
            sx += rowSx;
            sy += rowS * y;
        } else {
            for (int x = 0; x < width; ++x) {
                const double d = v[x];
                ds += d;
                dsx += d * x;
                dsy += d * y;
            }
        }
    }
    void corner(int width, int height, int N, int& x0, int& y0) const {
        if (colour)
            CornerAtGreenPeak(green, width, height, N, x0, y0);
        else if (exact)
            CornerFromCentroid(double(s), double(sx), double(sy), width, height, N, x0, y0);
        else
            CornerFromCentroid(ds, dsx, dsy, width, height, N, x0, y0);
    }
};

// window[i][j] = samples[j * N + i], a tile at a time so that neither side is walked with a
// stride of a cache line per element.
void TransposeIntoWindow(const std::int32_t* samples, int N, IntPlane& window) {
    constexpr int kTile = 16;
    for (int j0 = 0; j0 < N; j0 += kTile) {
        const int j1 = std::min(N, j0 + kTile);
        for (int i0 = 0; i0 < N; i0 += kTile) {
            const int i1 = std::min(N, i0 + kTile);
            for (int i = i0; i < i1; ++i) {
                std::int32_t* out = window[i];
                for (int j = j0; j < j1; ++j) out[j] = samples[std::size_t(j) * N + i];
            }
        }
    }
}

}  // namespace

WindowRead SerWindowFromSource(const ByteSource& source, int frame, WindowMode mode, int N,
                               FrameReader& reader, IntPlane& window, int& width, int& height,
                               std::string& error) {
    std::vector<std::uint8_t>& scratch = reader.scratch;
    const std::size_t headBytes =
        std::size_t(std::min<std::uint64_t>(source.size(), kSerHeaderBytes));
    const std::uint8_t* head = source.view(0, headBytes, scratch, error);
    if (!head) return WindowRead::Unreadable;
    SerHeader header;
    if (!ParseSerHeader(head, headBytes, source.size(), header, error))
        return WindowRead::Unreadable;
    if (frame < 1 || frame > header.frameCount) {
        error = "no frame " + std::to_string(frame) + " in a video of " +
                std::to_string(header.frameCount) + " frames";
        return WindowRead::Unreadable;
    }
    width = header.width;
    height = header.height;
    if (width < N || height < N) return WindowRead::TooSmall;
    const int index = frame - 1;

    const std::size_t rowBytes = header.rowBytes();
    thread_local std::vector<std::int32_t> samples;
    const std::size_t windowSamples = std::size_t(N) * std::size_t(N);
    if (!source.memory()) {
        std::size_t reading = rowBytes * std::size_t(N);
        if (mode == WindowMode::Peak) reading = std::max(reading, std::max(kChunkBytes, rowBytes));
        const std::size_t rowSamples = mode == WindowMode::Peak ? std::size_t(width) : 0;
        const std::size_t decoded = std::max(windowSamples, rowSamples) * sizeof(std::int32_t);
        if (!reader.hold.holdTotal(reading + decoded, error)) return WindowRead::Unreadable;
    }

    int x0 = (width - N) / 2, y0 = (height - N) / 2;
    const std::uint8_t* whole = nullptr;
    if (mode == WindowMode::Peak) {
        PeakSearch peak;
        peak.colour = header.isColour();
        peak.exact = SumsAreExactIntegers(width, height);
        samples.resize(std::size_t(width));
        const int band = int(std::max<std::size_t>(1, kChunkBytes / rowBytes));
        for (int y = 0; y < height; y += band) {
            const int count = std::min(band, height - y);
            const std::uint8_t* rows = ViewSerRows(source, header, index, y, count, scratch, error);
            if (!rows) return WindowRead::Unreadable;
            for (int k = 0; k < count; ++k) {
                SerRowSamples(rows + std::size_t(k) * rowBytes, header, 0, width, samples.data());
                peak.offerRow(samples.data(), width, y + k);
            }
            whole = count == height ? rows : nullptr;
        }
        peak.corner(width, height, N, x0, y0);
    }
    const std::uint8_t* rows = whole ? whole + std::size_t(y0) * rowBytes
                                     : ViewSerRows(source, header, index, y0, N, scratch, error);
    if (!rows) return WindowRead::Unreadable;
    samples.resize(windowSamples);
    for (int j = 0; j < N; ++j)
        SerRowSamples(rows + std::size_t(j) * rowBytes, header, x0, N,
                      samples.data() + std::size_t(j) * N);
    TransposeIntoWindow(samples.data(), N, window);
    return WindowRead::Ok;
}

}  // namespace framesifter
