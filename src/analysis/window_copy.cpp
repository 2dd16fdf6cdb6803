#include "window_copy.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace framesifter {

namespace {

constexpr int kBand = 16;  // rows whose pieces stay in the first-level cache together

#if defined(__SSE2__)
// Sixteen columns (from `column`) of sixteen rows of bytes (rows[r] + column) into
// out[c][j0 .. j0 + 15] as ints: a transpose of 16 x 16 bytes in four rounds of interleaving.
inline void Transpose16(const std::uint8_t* const* rows, int column, IntPlane& window, int j0) {
    __m128i a[16], b[16];
    for (int r = 0; r < 16; ++r)
        a[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + column));
    // Bytes of rows 2p and 2p + 1 side by side, then words of 4 rows, then double words of
    // 8, then each column's 16 rows.
    for (int p = 0; p < 8; ++p) {
        b[2 * p] = _mm_unpacklo_epi8(a[2 * p], a[2 * p + 1]);
        b[2 * p + 1] = _mm_unpackhi_epi8(a[2 * p], a[2 * p + 1]);
    }
    for (int q = 0; q < 4; ++q) {
        const __m128i* in = b + 4 * q;  // rows 4q..4q+3: low and high columns of two pairs
        a[4 * q] = _mm_unpacklo_epi16(in[0], in[2]);      // columns 0..3
        a[4 * q + 1] = _mm_unpackhi_epi16(in[0], in[2]);  // 4..7
        a[4 * q + 2] = _mm_unpacklo_epi16(in[1], in[3]);  // 8..11
        a[4 * q + 3] = _mm_unpackhi_epi16(in[1], in[3]);  // 12..15
    }
    for (int h = 0; h < 2; ++h) {      // rows 8h..8h+7
        for (int g = 0; g < 4; ++g) {  // columns 4g..4g+3
            const __m128i lo = a[8 * h + g], hi = a[8 * h + 4 + g];
            b[8 * h + 2 * g] = _mm_unpacklo_epi32(lo, hi);      // columns 4g, 4g+1
            b[8 * h + 2 * g + 1] = _mm_unpackhi_epi32(lo, hi);  // 4g+2, 4g+3
        }
    }
    const __m128i zero = _mm_setzero_si128();
    for (int pair = 0; pair < 8; ++pair) {
        const __m128i both[2] = {_mm_unpacklo_epi64(b[pair], b[8 + pair]),
                                 _mm_unpackhi_epi64(b[pair], b[8 + pair])};
        for (int e = 0; e < 2; ++e) {
            std::int32_t* out = window[column + 2 * pair + e] + j0;
            const __m128i low = _mm_unpacklo_epi8(both[e], zero);
            const __m128i high = _mm_unpackhi_epi8(both[e], zero);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(low, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(low, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8), _mm_unpacklo_epi16(high, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm_unpackhi_epi16(high, zero));
        }
    }
}
#endif

#if defined(__SSE2__)
// Eight columns (from `column`) of eight rows of words (rows[r] + column) into
// out[c][j0 .. j0 + 7] as ints.
inline void Transpose8(const std::uint16_t* const* rows, int column, IntPlane& window, int j0) {
    __m128i a[8], b[8];
    for (int r = 0; r < 8; ++r)
        a[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + column));
    for (int p = 0; p < 4; ++p) {
        b[2 * p] = _mm_unpacklo_epi16(a[2 * p], a[2 * p + 1]);      // columns 0..3
        b[2 * p + 1] = _mm_unpackhi_epi16(a[2 * p], a[2 * p + 1]);  // 4..7
    }
    for (int q = 0; q < 2; ++q) {
        const __m128i* in = b + 4 * q;                    // rows 4q..4q+3
        a[4 * q] = _mm_unpacklo_epi32(in[0], in[2]);      // columns 0, 1
        a[4 * q + 1] = _mm_unpackhi_epi32(in[0], in[2]);  // 2, 3
        a[4 * q + 2] = _mm_unpacklo_epi32(in[1], in[3]);  // 4, 5
        a[4 * q + 3] = _mm_unpackhi_epi32(in[1], in[3]);  // 6, 7
    }
    const __m128i zero = _mm_setzero_si128();
    for (int g = 0; g < 4; ++g) {
        const __m128i both[2] = {_mm_unpacklo_epi64(a[g], a[4 + g]),
                                 _mm_unpackhi_epi64(a[g], a[4 + g])};
        for (int e = 0; e < 2; ++e) {
            std::int32_t* out = window[column + 2 * g + e] + j0;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(both[e], zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4),
                             _mm_unpackhi_epi16(both[e], zero));
        }
    }
}
#endif

template <bool Lookup>
void CopyRows(const std::uint8_t* first, std::ptrdiff_t rowStride, std::size_t pixelStep,
              const std::uint8_t* lookup, int N, int j0, int count, IntPlane& window) {
    const auto value = [lookup](std::uint8_t v) { return Lookup ? lookup[v] : v; };
    int k0 = 0;
#if defined(__SSE2__)
    // Bands of 16 rows, 16 columns at a time. Samples that are not whole bytes side by side
    // are first gathered into rows of their own.
    constexpr int kTileColumns = 256;
    if (N <= kTileColumns) {
        alignas(16) std::uint8_t tile[kBand][kTileColumns];
        const bool direct = pixelStep == 1 && !Lookup;
        for (; k0 + kBand <= count; k0 += kBand) {
            const std::uint8_t* rows[kBand];
            for (int r = 0; r < kBand; ++r) {
                const std::uint8_t* row = first + std::ptrdiff_t(k0 + r) * rowStride;
                if (direct) {
                    rows[r] = row;
                    continue;
                }
                for (int i = 0; i < N; ++i) tile[r][i] = value(row[std::size_t(i) * pixelStep]);
                rows[r] = tile[r];
            }
            int i = 0;
            for (; i + 16 <= N; i += 16) Transpose16(rows, i, window, j0 + k0);
            for (; i < N; ++i)
                for (int r = 0; r < kBand; ++r)
                    window[i][j0 + k0 + r] = direct ? rows[r][i] : tile[r][i];
        }
    }
#endif
    for (; k0 + kBand <= count; k0 += kBand) {
        const std::uint8_t* band = first + std::ptrdiff_t(k0) * rowStride;
        for (int i = 0; i < N; ++i) {
            const std::uint8_t* in = band + std::size_t(i) * pixelStep;
            std::int32_t* out = window[i] + j0 + k0;
            for (int k = 0; k < kBand; ++k) out[k] = value(in[std::ptrdiff_t(k) * rowStride]);
        }
    }
    for (int k = k0; k < count; ++k) {
        const std::uint8_t* row = first + std::ptrdiff_t(k) * rowStride;
        for (int i = 0; i < N; ++i) window[i][j0 + k] = value(row[std::size_t(i) * pixelStep]);
    }
}

bool IsLittleEndian() {
    const std::uint16_t one = 1;
    std::uint8_t first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

template <bool BigEndian>
std::uint16_t WordAt(const std::uint8_t* p) {
    return BigEndian ? std::uint16_t(p[0] << 8 | p[1]) : std::uint16_t(p[1] << 8 | p[0]);
}

template <bool BigEndian>
void CopyWordRows(const std::uint8_t* first, std::ptrdiff_t rowStride, std::size_t pixelStep, int N,
                  IntPlane& window) {
    int k0 = 0;
#if defined(__SSE2__)
    // Bands of 8 rows: each row's samples gathered in order, then 8 columns at a time.
    constexpr int kWordBand = 8;
    constexpr int kTileColumns = 256;
    if (N <= kTileColumns) {
        alignas(16) std::uint16_t tile[kWordBand][kTileColumns];
        const std::uint16_t* rows[kWordBand];
        // Little-endian words side by side are read where they lie on a little-endian
        // processor.
        const bool direct = !BigEndian && pixelStep == 2 && IsLittleEndian();
        for (; k0 + kWordBand <= N; k0 += kWordBand) {
            for (int r = 0; r < kWordBand; ++r) {
                const std::uint8_t* row = first + std::ptrdiff_t(k0 + r) * rowStride;
                if (direct) {
                    rows[r] = reinterpret_cast<const std::uint16_t*>(row);
                    continue;
                }
                if (pixelStep == 2)  // a constant step, which the compiler turns into vectors
                    for (int i = 0; i < N; ++i)
                        tile[r][i] = WordAt<BigEndian>(row + std::size_t(i) * 2);
                else
                    for (int i = 0; i < N; ++i)
                        tile[r][i] = WordAt<BigEndian>(row + std::size_t(i) * pixelStep);
                rows[r] = tile[r];
            }
            int i = 0;
            for (; i + 8 <= N; i += 8) Transpose8(rows, i, window, k0);
            for (; i < N; ++i)
                for (int r = 0; r < kWordBand; ++r)
                    window[i][k0 + r] =
                        direct ? WordAt<false>(first + std::ptrdiff_t(k0 + r) * rowStride +
                                               std::size_t(i) * 2)
                               : tile[r][i];
        }
    }
#endif
    for (int k = k0; k < N; ++k) {
        const std::uint8_t* row = first + std::ptrdiff_t(k) * rowStride;
        for (int i = 0; i < N; ++i)
            window[i][k] = WordAt<BigEndian>(row + std::size_t(i) * pixelStep);
    }
}

}  // namespace

void WordSamplesToWindow(const std::uint8_t* first, std::ptrdiff_t rowStride, std::size_t pixelStep,
                         bool bigEndian, int N, IntPlane& window) {
    if (bigEndian)
        CopyWordRows<true>(first, rowStride, pixelStep, N, window);
    else
        CopyWordRows<false>(first, rowStride, pixelStep, N, window);
}

void SamplesToWindow(const std::uint8_t* first, std::ptrdiff_t rowStride, std::size_t pixelStep,
                     int N, IntPlane& window) {
    CopyRows<false>(first, rowStride, pixelStep, nullptr, N, 0, N, window);
}

void SampleRowsToWindow(const std::uint8_t* first, std::ptrdiff_t rowStride, std::size_t pixelStep,
                        const std::uint8_t* lookup, int N, int j0, int count, IntPlane& window) {
    if (lookup)
        CopyRows<true>(first, rowStride, pixelStep, lookup, N, j0, count, window);
    else
        CopyRows<false>(first, rowStride, pixelStep, nullptr, N, j0, count, window);
}

}  // namespace framesifter
