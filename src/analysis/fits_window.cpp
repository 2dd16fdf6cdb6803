#include "fits_window.h"
#include "reason.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "fits_general.h"
#include "fits_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

namespace framesifter {

namespace {

// Peak mode reads the data in pieces of about this size, so that a large frame needs little
// memory; the data of a frame up to this size are read once for the sums and the window.
constexpr std::size_t kChunkBytes = std::size_t(1) << 20;

struct CentroidSums {
    double s = 0, sx = 0, sy = 0;
    std::int64_t exactS = 0, exactSx = 0, exactSy = 0;  // when SumsAreExactIntegers
};

// True when every partial sum of S, Sx and Sy over the frame is an integer below 2^53 in
// magnitude. Then each addition in double is exact, so adding in 64-bit integers in any
// order and converting at the end gives the very bits of the sums added pixel by pixel.
bool SumsAreExactIntegers(int width, int height, std::int32_t bzero) {
    if (std::llabs(bzero) > INT32_MAX - 65535) return false;
    const double largest = 65535.0 + double(std::llabs(bzero));
    const double w = width, h = height;
    const double bound = largest * w * h * std::max({1.0, w - 1, h - 1});
    return bound < 9007199254740992.0;  // 2^53
}

// Adds `count` rows that begin with image row y0, in file order: rows from the top, columns
// left to right, as the corner rule for a decoded plane adds them up.
void AddRows(const std::uint8_t* rows, int width, int y0, int count, std::int32_t bzero, bool exact,
             CentroidSums& sums) {
    const std::uint8_t* p = rows;
    if (exact) {
        for (int y = y0; y < y0 + count; ++y, p += std::size_t(width) * 2) {
            std::int64_t rowS = 0, rowSx = 0;
            FitsRowSums(p, width, bzero, rowS, rowSx);
            sums.exactS += rowS;
            sums.exactSx += rowSx;
            sums.exactSy += rowS * y;
        }
        return;
    }
    for (int y = y0; y < y0 + count; ++y) {
        for (int x = 0; x < width; ++x, p += 2) {
            const double v = FoldBzero(std::int32_t(p[0]) << 8 | p[1], bzero);
            sums.s += v;
            sums.sx += v * x;
            sums.sy += v * y;
        }
    }
}

// The centroid sums over all the data, read in whole rows of about kChunkBytes at a time.
// `whole` receives the data when they came in one piece, and null otherwise.
bool SumFrame(const ByteSource& source, const FitsHeader& header,
              std::vector<std::uint8_t>& scratch, CentroidSums& sums, FrameBorder& border,
              const std::uint8_t*& whole, std::string& error) {
    const std::size_t rowBytes = std::size_t(header.width) * 2;
    const int band = int(std::max<std::size_t>(1, kChunkBytes / rowBytes));
    const bool exact = SumsAreExactIntegers(header.width, header.height, header.bzero);
    for (int y = 0; y < header.height; y += band) {
        const int count = std::min(band, header.height - y);
        const std::uint8_t* rows = source.view(header.dataOffset + std::uint64_t(y) * rowBytes,
                                               rowBytes * std::size_t(count), scratch, error);
        if (!rows) return false;
        AddRows(rows, header.width, y, count, header.bzero, exact, sums);
        for (int k = 0; k < count; ++k) {
            const std::uint8_t* row = rows + std::size_t(k) * rowBytes;
            border.offerRow(y + k, [row, &header](int x) {
                return FoldBzero(std::int32_t(row[2 * x]) << 8 | row[2 * x + 1], header.bzero);
            });
        }
        whole = count == header.height ? rows : nullptr;
    }
    if (exact) {
        sums.s = double(sums.exactS);
        sums.sx = double(sums.exactSx);
        sums.sy = double(sums.exactSy);
    }
    return true;
}

// The largest value a folded 16-bit word can give: 65535 for BZERO 0 or 32768.
int FitsCeiling(std::int32_t bzero) {
    std::int32_t top = FoldBzero(65535, bzero);
    if (bzero > 0) top = std::max(top, FoldBzero(std::min(bzero, 65536) - 1, bzero));
    return top;
}

// A frame the 16-bit path does not take, through FitsImageFile: the centroid of its
// physical values added pixel by pixel in file order (peak mode, in bands of whole rows of
// tiles, so each tile is decompressed once), then the window's block alone. What the library
// holds for a compressed image counts in the budget before anything is read.
// out[i * N + j] = in[j * N + i], with undefined values (NaN) and infinities as 0: rows to
// columns in tiles that stay in the first-level cache, two by two in SSE2 registers.
double Defined(double v) { return std::fabs(v) <= std::numeric_limits<double>::max() ? v : 0.0; }

void RowsToColumns(const double* in, int N, double* out) {
    constexpr int kTile = 16;
    for (int j0 = 0; j0 < N; j0 += kTile)
        for (int i0 = 0; i0 < N; i0 += kTile) {
            const int i1 = std::min(N, i0 + kTile), j1 = std::min(N, j0 + kTile);
            int j = j0;
#if defined(__SSE2__)
            const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
            const __m128d largest = _mm_set1_pd(std::numeric_limits<double>::max());
            // v where |v| <= the largest double, else 0 (NaN compares false).
            const auto defined = [&](__m128d v) {
                return _mm_and_pd(v, _mm_cmple_pd(_mm_and_pd(v, magnitude), largest));
            };
            for (; j + 2 <= j1; j += 2) {
                int i = i0;
                for (; i + 2 <= i1; i += 2) {
                    const __m128d a = defined(_mm_loadu_pd(in + std::size_t(j) * N + i));
                    const __m128d b = defined(_mm_loadu_pd(in + std::size_t(j + 1) * N + i));
                    _mm_storeu_pd(out + std::size_t(i) * N + j, _mm_unpacklo_pd(a, b));
                    _mm_storeu_pd(out + std::size_t(i + 1) * N + j, _mm_unpackhi_pd(a, b));
                }
                for (; i < i1; ++i) {
                    out[std::size_t(i) * N + j] = Defined(in[std::size_t(j) * N + i]);
                    out[std::size_t(i) * N + j + 1] = Defined(in[std::size_t(j + 1) * N + i]);
                }
            }
#endif
            for (; j < j1; ++j)
                for (int i = i0; i < i1; ++i)
                    out[std::size_t(i) * N + j] = in[std::size_t(j) * N + i];
        }
}

WindowRead GeneralWindow(const ByteSource& source, const FitsHeader& header, WindowMode mode, int N,
                         FrameReader& reader, IntPlane& window, std::string& error) {
    const int width = header.width, height = header.height;
    const std::size_t rowValues = std::size_t(width);
    const bool peak = mode == WindowMode::Peak;
    const int band =
        peak ? FitsBandRows(header, int(std::max<std::size_t>(1, kChunkBytes / 8 / rowValues))) : 0;
    int x0 = (width - N) / 2, y0 = (height - N) / 2;
    const std::size_t windowValues = std::size_t(N) * std::size_t(N);
    std::size_t needed = reader.frame.fileBytes.size() + 2 * windowValues * sizeof(double);
    if (peak) {
        // The window lies anywhere: count it where it meets the most columns of tiles.
        const int worst = std::max(0, std::min(header.tileWidth - 1, width - N));
        needed += std::max(std::size_t(band) * rowValues, windowValues) * sizeof(double) +
                  FitsLibraryReadBytes(header, 0, width) + FitsLibraryReadBytes(header, worst, N);
    } else {
        needed += FitsLibraryReadBytes(header, x0, N);
    }
    // Centre mode, a plain image in a file of moderate size: the header and the window's rows
    // are read into an image of the file in memory, where cfitsio reads the window without
    // opening the file a second time or reading it again in records of 2880 bytes.
    const std::size_t valueBytes = std::size_t(std::abs(header.bitpix) / 8);
    const bool inMemory = !peak && !header.compressed && !source.memory() &&
                          source.size() <= reader.keptBufferBytes &&
                          reader.frame.fileBytes.size() >= header.dataOffset;
    if (inMemory) needed += std::size_t(source.size());
    const std::string what = header.compressed ? Reason(ReasonKind::TheTiledFrame,
                                                        {width, height, FitsTilesText(header)})
                                               : Reason(ReasonKind::TheFrame);

    if (!reader.hold.holdTotal(needed, error, what)) return WindowRead::Unreadable;
    std::optional<ByteSource> image;
    if (inMemory) {
        std::vector<std::uint8_t>& bytes = reader.fileImage;
        try {
            bytes.resize(std::size_t(source.size()));
        } catch (const std::bad_alloc&) {
            error = Reason(ReasonKind::NoMemoryReadFrame);
            return WindowRead::Unreadable;
        }
        std::copy_n(reader.frame.fileBytes.begin(), header.dataOffset, bytes.begin());
        const std::size_t rowBytes = std::size_t(width) * valueBytes;
        const std::uint64_t first =
            header.dataOffset +
            (std::uint64_t(header.plane - 1) * std::uint64_t(height) + std::uint64_t(y0)) *
                rowBytes;
        if (!source.readInto(first, rowBytes * std::size_t(N), bytes.data() + first, error))
            return WindowRead::Unreadable;
        image.emplace(bytes.data(), bytes.size());
    }
    FitsImageFile file;
    if (!file.open(image ? *image : source, header, error)) return WindowRead::Unreadable;
    std::vector<double>& rows = reader.realRows;
    if (peak) {
        rows.resize(std::max(std::size_t(band) * rowValues, windowValues));
        double s = 0, sx = 0, sy = 0;
        reader.border.start(width, height);
        for (int y = 0; y < height; y += band) {
            const int count = std::min(band, height - y);
            if (!file.readRows(y, count, rows.data(), error)) return WindowRead::Unreadable;
            const double* p = rows.data();
            for (int r = y; r < y + count; ++r) {
                reader.border.offerRow(r, [p](int x) { return p[x]; });
                for (int x = 0; x < width; ++x, ++p) {
                    s += *p;
                    sx += *p * x;
                    sy += *p * r;
                }
            }
        }
        CornerFromCentroid(s, sx, sy, width, height, N, x0, y0);
    } else {
        rows.resize(windowValues);
    }
    // Undefined values become 0 as the rows turn to columns.
    if (!file.readBlock(x0, y0, N, N, rows.data(), error, true)) return WindowRead::Unreadable;
    std::vector<double>& real = reader.realWindow;
    real.resize(windowValues);
    RowsToColumns(rows.data(), N, real.data());
    reader.real = !AllIntegers(real.data(), real.size());
    if (!reader.real)
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < N; ++j) window[i][j] = int(real[std::size_t(i) * N + j]);
    return WindowRead::Ok;
}

}  // namespace

WindowRead FitsWindowFromSource(const ByteSource& source, WindowMode mode, int N,
                                FrameReader& reader, IntPlane& window, int& width, int& height,
                                std::string& error) {
    std::vector<std::uint8_t>& blocks = reader.frame.fileBytes;
    if (!source.memory() && !reader.hold.holdTotal(kFitsBlockBytes, error))
        return WindowRead::Unreadable;
    FitsHeader header;
    if (!ReadFitsHeader(source, blocks, header, error)) return WindowRead::Unreadable;
    width = header.width;
    height = header.height;
    if (width < N || height < N) return WindowRead::TooSmall;
    if (!header.fast) {
        // Scaled, 8-bit, 32-bit and floating samples: no full scale the window is checked
        // against.
        reader.sampleCeiling = INT32_MAX;
        return GeneralWindow(source, header, mode, N, reader, window, error);
    }

    const std::size_t rowBytes = std::size_t(width) * 2;
    const std::size_t windowRows = rowBytes * std::size_t(N);
    if (!source.memory()) {
        std::size_t reading = windowRows;
        if (mode == WindowMode::Peak) reading = std::max(reading, std::max(kChunkBytes, rowBytes));
        if (!reader.hold.holdTotal(blocks.size() + reading, error)) return WindowRead::Unreadable;
    }
    int x0 = (width - N) / 2, y0 = (height - N) / 2;
    const std::uint8_t* whole = nullptr;
    if (mode == WindowMode::Peak) {
        CentroidSums sums;
        reader.border.start(width, height);
        if (!SumFrame(source, header, reader.scratch, sums, reader.border, whole, error))
            return WindowRead::Unreadable;
        CornerFromCentroid(sums.s, sums.sx, sums.sy, width, height, N, x0, y0);
    }
    const std::uint8_t* rows = whole ? whole + std::size_t(y0) * rowBytes
                                     : source.view(header.dataOffset + std::uint64_t(y0) * rowBytes,
                                                   windowRows, reader.scratch, error);
    if (!rows) return WindowRead::Unreadable;
    DecodeFitsWindowRows(rows, width, header.bzero, x0, N, window);
    reader.sampleCeiling = FitsCeiling(header.bzero);
    return WindowRead::Ok;
}

}  // namespace framesifter
