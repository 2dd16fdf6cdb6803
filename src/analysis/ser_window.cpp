#include "ser_window.h"
#include "reason.h"

#include "green_peak.h"
#include "ser_reader.h"
#include "window_copy.h"

#include <algorithm>

namespace framesifter {

namespace {

// Peak mode reads the frame in pieces of about this size; a frame up to this size is read
// once for both the peak and the window.
constexpr std::size_t kChunkBytes = std::size_t(1) << 20;
// In a run, a frame's read asks for the bytes of the frame this far ahead: a video not yet
// in memory is then read from the disk several requests at a time, and only its windows'
// rows in centre mode (a quarter of a 1920 x 1080 frame).
constexpr int kReadAhead = 16;

// True when every partial centroid sum of the frame is an integer below 2^53: then adding
// in 64-bit integers gives the very bits the FITS rule's pixel by pixel double sums give.
bool SumsAreExactIntegers(int width, int height) {
    const double w = width, h = height;
    return 65535.0 * w * h * std::max({1.0, w - 1, h - 1}) < 9007199254740992.0;
}

// One stored sample kind: `Planes` interleaved samples a pixel, of one byte or two in
// either order. at(row, x) is the analysis sample of column x: the value itself, or green.
template <int Planes, int Bytes, bool BigEndian>
struct Samples {
    static std::uint32_t at(const std::uint8_t* row, int x) {
        const std::uint8_t* p = row + std::size_t(x) * (Planes * Bytes) + (Planes == 3 ? Bytes : 0);
        if (Bytes == 1) return p[0];
        return BigEndian ? std::uint32_t(p[0]) << 8 | p[1] : std::uint32_t(p[1]) << 8 | p[0];
    }
};

// Calls fn(Samples<...>()) for the header's kind of sample.
template <typename Fn>
void WithSamples(const SerHeader& h, Fn fn) {
    if (h.isColour()) {
        if (h.bytesPerSample == 1) return fn(Samples<3, 1, false>());
        if (h.bigEndianSamples) return fn(Samples<3, 2, true>());
        return fn(Samples<3, 2, false>());
    }
    if (h.bytesPerSample == 1) return fn(Samples<1, 1, false>());
    if (h.bigEndianSamples) return fn(Samples<1, 2, true>());
    return fn(Samples<1, 2, false>());
}

struct PeakSearch {
    bool colour = false;
    bool exact = false;
    std::int64_t s = 0, sx = 0, sy = 0;
    double ds = 0, dsx = 0, dsy = 0;
    GreenPeak green;

    template <typename S>
    void offerRow(S, const std::uint8_t* row, int width, int y) {
        if (colour) {
            green.offerRow(width, y, [row](int x) { return int(S::at(row, x)); });
        } else if (exact) {
            // Pieces of 256 samples keep both sums within 32 bits (65535 * (0 + .. + 255)
            // < 2^32), a loop the compiler vectorises.
            std::int64_t rowS = 0, rowSx = 0;
            for (int x0 = 0; x0 < width; x0 += 256) {
                const int n = std::min(256, width - x0);
                std::uint32_t pieceS = 0, pieceX = 0;
                for (int i = 0; i < n; ++i) {
                    const std::uint32_t v = S::at(row, x0 + i);
                    pieceS += v;
                    pieceX += v * std::uint32_t(i);
                }
                rowS += pieceS;
                rowSx += std::int64_t(pieceX) + std::int64_t(x0) * pieceS;
            }
            s += rowS;
            sx += rowSx;
            sy += rowS * y;
        } else {
            for (int x = 0; x < width; ++x) {
                const double d = S::at(row, x);
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

}  // namespace

WindowRead SerWindowFromSource(const ByteSource& source, int frame, WindowMode mode, int N,
                               FrameReader& reader, IntPlane& window, int& width, int& height,
                               std::string& error) {
    std::vector<std::uint8_t>& scratch = reader.scratch;
    SerHeader header;
    if (reader.video && &reader.video->source == &source) {
        // A run's video: its header was read when it was opened.
        if (!reader.video->headerRead) {
            error = reader.video->headerError;
            return WindowRead::Unreadable;
        }
        header = reader.video->ser;
    } else {
        const std::size_t headBytes =
            std::size_t(std::min<std::uint64_t>(source.size(), kSerHeaderBytes));
        const std::uint8_t* head = source.view(0, headBytes, scratch, error);
        if (!head) return WindowRead::Unreadable;
        if (!ParseSerHeader(head, headBytes, source.size(), header, error))
            return WindowRead::Unreadable;
    }
    if (frame < 1 || frame > header.frameCount) {
        error = Reason(ReasonKind::NoFrameInVideo, {frame, header.frameCount});

        return WindowRead::Unreadable;
    }
    width = header.width;
    height = header.height;
    if (width < N || height < N) return WindowRead::TooSmall;
    const int index = frame - 1;

    const std::size_t rowBytes = header.rowBytes();
    if (!source.memory()) {
        std::size_t reading = rowBytes * std::size_t(N);
        if (mode == WindowMode::Peak) reading = std::max(reading, std::max(kChunkBytes, rowBytes));
        if (!reader.hold.holdTotal(reading, error)) return WindowRead::Unreadable;
    }

    int x0 = (width - N) / 2, y0 = (height - N) / 2;
    // A run's video: the frame's first read tells whether the video comes from the disk; if
    // it does, the frame kReadAhead on is asked for.
    const OpenVideo* video =
        reader.video && &reader.video->source == &source ? reader.video.get() : nullptr;
    bool fromDisk = false;
    bool* probe = video && !video->fromDisk.load() ? &fromDisk : nullptr;
    const auto askAhead = [&] {
        if (!video || !(fromDisk || video->fromDisk.load())) return;
        video->fromDisk.store(true);
        if (index + kReadAhead >= header.frameCount) return;
        const std::uint64_t ahead = SerFrameOffset(header, index + kReadAhead);
        if (mode == WindowMode::Peak)
            source.willNeed(ahead, header.frameBytes());
        else
            source.willNeed(ahead + std::uint64_t(y0) * rowBytes, std::uint64_t(N) * rowBytes);
    };
    const std::uint8_t* whole = nullptr;
    if (mode == WindowMode::Peak) {
        PeakSearch peak;
        reader.border.start(width, height);
        peak.colour = header.isColour();
        peak.exact = SumsAreExactIntegers(width, height);
        const int band = int(std::max<std::size_t>(1, kChunkBytes / rowBytes));
        for (int y = 0; y < height; y += band) {
            const int count = std::min(band, height - y);
            const std::uint8_t* rows =
                ViewSerRows(source, header, index, y, count, scratch, error, probe);
            if (!rows) return WindowRead::Unreadable;
            if (y == 0) askAhead();
            probe = nullptr;
            WithSamples(header, [&](auto kind) {
                using S = decltype(kind);
                for (int k = 0; k < count; ++k) {
                    const std::uint8_t* row = rows + std::size_t(k) * rowBytes;
                    peak.offerRow(kind, row, width, y + k);
                    reader.border.offerRow(y + k, [row](int x) { return S::at(row, x); });
                }
            });
            whole = count == height ? rows : nullptr;
        }
        peak.corner(width, height, N, x0, y0);
    }
    const std::uint8_t* rows = whole ? whole + std::size_t(y0) * rowBytes
                                     : ViewSerRows(source, header, index, y0, N, scratch, error,
                                                   mode == WindowMode::Peak ? nullptr : probe);
    if (!rows) return WindowRead::Unreadable;
    if (mode != WindowMode::Peak) askAhead();
    // Green is the middle sample of RGB and BGR alike.
    const std::size_t planes = header.isColour() ? 3 : 1;
    const std::size_t pixelBytes = planes * std::size_t(header.bytesPerSample);
    const std::uint8_t* corner =
        rows + std::size_t(x0) * pixelBytes + (planes == 3 ? header.bytesPerSample : 0);
    if (header.bytesPerSample == 1)
        SamplesToWindow(corner, std::ptrdiff_t(rowBytes), pixelBytes, N, window);
    else
        WordSamplesToWindow(corner, std::ptrdiff_t(rowBytes), pixelBytes, header.bigEndianSamples,
                            N, window);
    // The header's bit depth is not trusted: some cameras store their samples shifted up.
    reader.sampleCeiling = header.bytesPerSample == 1 ? 255 : 65535;
    return WindowRead::Ok;
}

}  // namespace framesifter
