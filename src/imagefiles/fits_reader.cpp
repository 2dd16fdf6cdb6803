#include "fits_reader.h"
#include "reason.h"

#include "file_io.h"
#include "fits_general.h"
#include "gzip_frame.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace framesifter {

namespace {

// Rows of big-endian words into columns: plane[i][y0 + j] = fold(word at column x0 + i of
// row j of `rows`), for `columns` x `count` words; a row is `width` words long. Done in
// bands of rows so that each column receives a whole cache line at a time instead of one
// element per row.
template <class Fold>
void Transpose(const std::uint8_t* rows, int width, int x0, int columns, int y0, int count,
               IntPlane& plane, Fold fold) {
    constexpr int kBand = 16;
    const std::size_t rowBytes = std::size_t(width) * 2;
    for (int j0 = 0; j0 < count; j0 += kBand) {
        const int j1 = std::min(count, j0 + kBand);
        const std::uint8_t* band = rows + std::size_t(j0) * rowBytes + std::size_t(x0) * 2;
        for (int i = 0; i < columns; ++i) {
            std::int32_t* column = plane[i] + y0;
            const std::uint8_t* p = band + std::size_t(i) * 2;
            for (int j = j0; j < j1; ++j, p += rowBytes)
                column[j] = fold(std::int32_t(p[0]) << 8 | p[1]);
        }
    }
}

// Raw words 0..65535 cannot overflow the fold when the offset stays this far inside the int
// range; the plain fold vectorises where the clamped one does not.
bool FoldCannotOverflow(std::int32_t z) { return z >= INT32_MIN + 32768 && z <= INT32_MAX - 32767; }

// Rows per read of the data when a whole image is decoded from a file: about 1 MiB.
int RowsPerBand(int width) {
    constexpr std::size_t kBandBytes = std::size_t(1) << 20;
    return int(std::max<std::size_t>(16, kBandBytes / (std::size_t(width) * 2) / 16 * 16));
}

// All of a parsed image's rows into plane[x][y] = fold(word), read band by band.
template <class Fold>
bool DecodeSourceRows(const ByteSource& source, const FitsHeader& header, IntPlane& plane,
                      Fold fold, std::string& error) {
    const std::size_t rowBytes = std::size_t(header.width) * 2;
    const int band = RowsPerBand(header.width);
    std::vector<std::uint8_t> scratch;
    for (int y = 0; y < header.height; y += band) {
        const int count = std::min(band, header.height - y);
        const std::uint8_t* rows = source.view(header.dataOffset + std::uint64_t(y) * rowBytes,
                                               rowBytes * std::size_t(count), scratch, error);
        if (!rows) return false;
        Transpose(rows, header.width, 0, header.width, y, count, plane, fold);
    }
    return true;
}

}  // namespace

bool ApplyBzero(int bzero, int first, int second, IntPlane& plane, std::string& error) {
    if (first < 0 || second < 0 || first > plane.first() || second > plane.second())
        return Fail(error, Reason(ReasonKind::FitsAreaOutside));
    for (int x = 0; x < first; ++x) {
        std::int32_t* line = plane[x];
        for (int y = 0; y < second; ++y) line[y] = FoldBzero(line[y], bzero);
    }
    return true;
}

#if defined(__SSE2__)
namespace {

// The fold of four raw words when FoldCannotOverflow(bzero): flip holds 0x8000 and offset
// bzero - 32768 in every lane.
__m128i Fold4(__m128i raw, __m128i flip, __m128i offset) {
    return _mm_add_epi32(_mm_xor_si128(raw, flip), offset);
}

// An 8 x 8 block of big-endian words (rows rowBytes apart) turned in registers: columns[k][j]
// for j = 0..7 receives the folded word of column k of row j.
void Fold8x8(const std::uint8_t* p, std::size_t rowBytes, std::int32_t* const* columns, __m128i z,
             __m128i minusZ) {
    __m128i r[8];
    for (int k = 0; k < 8; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k * rowBytes));
        r[k] = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
    }
    __m128i a[8], b[8], c[8];
    for (int k = 0; k < 4; ++k) {
        a[2 * k] = _mm_unpacklo_epi16(r[2 * k], r[2 * k + 1]);
        a[2 * k + 1] = _mm_unpackhi_epi16(r[2 * k], r[2 * k + 1]);
    }
    for (int k = 0; k < 2; ++k) {
        b[4 * k] = _mm_unpacklo_epi32(a[4 * k], a[4 * k + 2]);
        b[4 * k + 1] = _mm_unpackhi_epi32(a[4 * k], a[4 * k + 2]);
        b[4 * k + 2] = _mm_unpacklo_epi32(a[4 * k + 1], a[4 * k + 3]);
        b[4 * k + 3] = _mm_unpackhi_epi32(a[4 * k + 1], a[4 * k + 3]);
    }
    for (int k = 0; k < 4; ++k) {
        c[2 * k] = _mm_unpacklo_epi64(b[k], b[k + 4]);
        c[2 * k + 1] = _mm_unpackhi_epi64(b[k], b[k + 4]);
    }
    const __m128i zero = _mm_setzero_si128();
    for (int k = 0; k < 8; ++k) {
        __m128i* out = reinterpret_cast<__m128i*>(columns[k]);
        _mm_storeu_si128(out, Fold4(_mm_unpacklo_epi16(c[k], zero), z, minusZ));
        _mm_storeu_si128(out + 1, Fold4(_mm_unpackhi_epi16(c[k], zero), z, minusZ));
    }
}

// S = sum v and X = sum k v over the 8 * blocks words from p, k counted from p's first word,
// added to s and x. Columns are kept apart in the lanes of running sums P (of v) and Q (of P),
// which need additions only: for the words v_m of one lane, sum m v_m = blocks * P - Q.
// Exact while blocks * blocks * largest |v| stays below 2^31.
void AddBlockSums(const std::uint8_t* p, int blocks, __m128i z, __m128i minusZ, std::int64_t& s,
                  std::int64_t& x) {
    const __m128i zero = _mm_setzero_si128();
    __m128i p0 = zero, p1 = zero, q0 = zero, q1 = zero;
    for (int m = 0; m < blocks; ++m, p += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
        p0 = _mm_add_epi32(p0, Fold4(_mm_unpacklo_epi16(v, zero), z, minusZ));
        p1 = _mm_add_epi32(p1, Fold4(_mm_unpackhi_epi16(v, zero), z, minusZ));
        q0 = _mm_add_epi32(q0, p0);
        q1 = _mm_add_epi32(q1, p1);
    }
    alignas(16) std::int32_t P[8], Q[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(P), p0);
    _mm_store_si128(reinterpret_cast<__m128i*>(P + 4), p1);
    _mm_store_si128(reinterpret_cast<__m128i*>(Q), q0);
    _mm_store_si128(reinterpret_cast<__m128i*>(Q + 4), q1);
    for (int k = 0; k < 8; ++k) {
        s += P[k];
        x += 8 * (std::int64_t(blocks) * P[k] - Q[k]) + std::int64_t(k) * P[k];
    }
}

// The window in blocks of 8 x 8, sixteen rows at a time so that each column receives whole
// cache lines. Needs n a multiple of 8 and FoldCannotOverflow(bzero).
void DecodeWindowBlocks(const std::uint8_t* rows, int width, std::int32_t bzero, int x0, int n,
                        IntPlane& window) {
    const std::size_t rowBytes = std::size_t(width) * 2;
    const __m128i z = _mm_set1_epi32(0x8000);
    const __m128i minusZ = _mm_set1_epi32(bzero - 32768);
    std::int32_t* columns[8];
    for (int j0 = 0; j0 < n; j0 += 16) {
        for (int i0 = 0; i0 < n; i0 += 8) {
            for (int j = j0; j < std::min(n, j0 + 16); j += 8) {
                for (int k = 0; k < 8; ++k) columns[k] = window[i0 + k] + j;
                Fold8x8(rows + std::size_t(j) * rowBytes + std::size_t(x0 + i0) * 2, rowBytes,
                        columns, z, minusZ);
            }
        }
    }
}

}  // namespace
#endif

void FitsRowSums(const std::uint8_t* row, int width, int bzero, std::int64_t& s, std::int64_t& sx) {
    const std::int64_t z = bzero;
    s = sx = 0;
    int x = 0;
#if defined(__SSE2__)
    const std::int64_t largest = 65535 + (z < 0 ? -z : z);
    const int segment = std::max(1, int(std::sqrt(double(INT32_MAX / largest))) - 1);
    const __m128i zv = _mm_set1_epi32(0x8000), minusZ = _mm_set1_epi32(bzero - 32768);
    for (; x + 8 <= width;) {
        const int blocks = std::min(segment, (width - x) / 8);
        std::int64_t segmentS = 0, segmentX = 0;
        AddBlockSums(row + std::size_t(x) * 2, blocks, zv, minusZ, segmentS, segmentX);
        s += segmentS;
        sx += segmentX + std::int64_t(x) * segmentS;
        x += 8 * blocks;
    }
#endif
    for (const std::uint8_t* p = row + std::size_t(x) * 2; x < width; ++x, p += 2) {
        const std::int64_t raw = std::int64_t(p[0]) << 8 | p[1];
        const std::int64_t v = (raw ^ 0x8000) - 32768 + z;
        s += v;
        sx += v * x;
    }
}

void DecodeFitsWindowRows(const std::uint8_t* rows, int width, int bzero, int x0, int n,
                          IntPlane& window) {
    const std::int32_t z = bzero;
#if defined(__SSE2__)
    if (n % 8 == 0 && FoldCannotOverflow(z)) {
        DecodeWindowBlocks(rows, width, z, x0, n, window);
        return;
    }
#endif
    if (FoldCannotOverflow(z))
        Transpose(rows, width, x0, n, 0, n, window,
                  [k = z - 32768](std::int32_t raw) { return (raw ^ 0x8000) + k; });
    else
        Transpose(rows, width, x0, n, 0, n, window,
                  [z](std::int32_t raw) { return FoldBzero(raw, z); });
}

namespace {

bool DecodeParsedFrame(const ByteSource& source, const FitsHeader& header, IntPlane& plane,
                       int& width, int& height, std::string& error) {
    // A batch run reads frames of one size: keep the plane when it already fits, since
    // every element is written below.
    if (plane.empty() || plane.first() != header.width || plane.second() != header.height) {
        if (!AllocIntPlane(header.width, header.height, plane, error)) return false;
    }
    if (!header.fast) {
        std::vector<double> values;
        FitsHeader parsed = header;
        if (!ReadFitsValues(source, parsed, values, error)) return false;
        if (!AllIntegers(values.data(), values.size()))
            return Fail(error, Reason(ReasonKind::NotIntegers));

        for (int y = 0; y < header.height; ++y)
            for (int x = 0; x < header.width; ++x)
                plane[x][y] = int(values[std::size_t(y) * std::size_t(header.width) + x]);
        width = header.width;
        height = header.height;
        return true;
    }
    const std::int32_t z = header.bzero;
    if (FoldCannotOverflow(z)) {
        // Folding while decoding gives the same values as ApplyBzero afterwards.
        if (!DecodeSourceRows(
                source, header, plane,
                [k = z - 32768](std::int32_t raw) { return (raw ^ 0x8000) + k; }, error))
            return false;
    } else {
        if (!DecodeSourceRows(
                source, header, plane, [](std::int32_t raw) { return raw; }, error) ||
            !ApplyBzero(header.bzero, header.width, header.height, plane, error))
            return false;
    }
    width = header.width;
    height = header.height;
    return true;
}

}  // namespace

bool DecodeFitsFrame(const std::uint8_t* bytes, std::size_t size, IntPlane& plane, int& width,
                     int& height, std::string& error) {
    FitsHeader header;
    if (!ParseFitsHeader(bytes, size, header, error)) return false;
    return DecodeParsedFrame(ByteSource(bytes, size), header, plane, width, height, error);
}

bool ReadFitsFrame(const std::string& path, IntPlane& plane, int& width, int& height,
                   std::string& error) {
    ByteSource source;
    if (!OpenFrameFile(path, source, error)) return false;
    std::vector<std::uint8_t> blocks;
    FitsHeader header;
    if (!ReadFitsHeader(source, blocks, header, error)) return false;
    return DecodeParsedFrame(source, header, plane, width, height, error);
}

}  // namespace framesifter
