#include "fast_profile.h"

// The build defines FRAMESIFTER_X86_VECTORS when the compiler targets x86-64 and offers
// what the vector code needs; otherwise only the portable lanes below are built.
#ifdef FRAMESIFTER_X86_VECTORS
#include <emmintrin.h>
#endif

#include "value_range.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

namespace framesifter {

// The window w is real, and the straightforward transform gives (1 + i) W / 65536, W being
// the 2-D DFT of w; every amplitude is sqrt(2) |W| / 65536. Here:
//
// 1. Rows are packed in pairs: z[x][m] = w[x][2m] + i w[x][2m+1] (x = column 0..255,
//    m = 0..127). Each column's adjacent ints are exactly such a pair.
// 2. Z, the 256 x 128 complex DFT of z: first along x, four m at a time in the four lanes of
//    a vector; the result goes, transposed, into T[m][k1]. Then along m, four k1 at a time,
//    together with the four mirrored rows -k1.
// 3. With Zm = Z(-k1, -q): 2E = Z + conj Zm and 2O = -i (Z - conj Zm) are the DFTs of the
//    even and odd rows; with t = e^(-2 pi i q / 256), W(k1, q) = E + t O and
//    W(k1, q + 128) = E - t O.
//    So the rows k1 = 0..128 give every |W| of the half spectrum; each one also stands for
//    its mirror cell (-k1, -k2), which has the same amplitude.
// 4. Each amplitude is added to the bins of its cell and of its mirror cell, read from a
//    table built with the very same distance formula as the straightforward profile.
//
// The code works on four doubles at a time without fused multiply-adds: one AVX register,
// two SSE2 registers on the baseline x86-64, or a plain array of four on other processors.
// Lane for lane all do the same operations in the same order, so they give bit-identical
// profiles.

namespace {

#if defined(__GNUC__)
#define FS_INLINE inline __attribute__((always_inline))
#else
#define FS_INLINE inline
#endif

constexpr int N = FastProfiler::kSize;  // 256
constexpr int M = N / 2;                // packed length along a column
constexpr int kRow = N + 4;             // T row: k1 = 0..255, then k1 = 256 (= 0) for mirrors
constexpr int kGroups = M / 4 + 1;      // k1 = 4h..4h+3; the last group holds k1 = 128
constexpr int kCells = M * 2 * 4;       // per group: q, half (k2 = q or q + 128), lane
constexpr int kUsedBins = 181;          // the farthest cell lies 180.3 from the centre
constexpr int kSink = 183;              // bin for amplitudes counted elsewhere
constexpr int kBins = 184;
constexpr int kAccumulators = 16;  // separate sums break store-to-load chains

// Four lanes as plain doubles, which any C++ compiler builds.
struct Quad {
    double lane[4];
};
FS_INLINE Quad operator+(Quad a, Quad b) {
    for (int l = 0; l < 4; ++l) a.lane[l] += b.lane[l];
    return a;
}
FS_INLINE Quad operator-(Quad a, Quad b) {
    for (int l = 0; l < 4; ++l) a.lane[l] -= b.lane[l];
    return a;
}
FS_INLINE Quad operator*(Quad a, Quad b) {
    for (int l = 0; l < 4; ++l) a.lane[l] *= b.lane[l];
    return a;
}
FS_INLINE Quad operator*(Quad a, double s) {
    for (int l = 0; l < 4; ++l) a.lane[l] *= s;
    return a;
}

template <class V>
struct Cx {
    V re, im;
};

#ifdef FRAMESIFTER_X86_VECTORS
typedef double v4d __attribute__((vector_size(32)));
typedef std::int32_t v8i __attribute__((vector_size(32)));
typedef std::int32_t v4i __attribute__((vector_size(16)));
typedef std::uint32_t v8u __attribute__((vector_size(32)));
typedef std::uint64_t v4u __attribute__((vector_size(32)));

// Four lanes in two SSE2 registers, for processors without AVX.
struct Pair {
    __m128d lo, hi;
};
FS_INLINE Pair operator+(Pair a, Pair b) { return {a.lo + b.lo, a.hi + b.hi}; }
FS_INLINE Pair operator-(Pair a, Pair b) { return {a.lo - b.lo, a.hi - b.hi}; }
FS_INLINE Pair operator*(Pair a, Pair b) { return {a.lo * b.lo, a.hi * b.hi}; }
FS_INLINE Pair operator*(Pair a, double s) { return {a.lo * s, a.hi * s}; }

using C4 = Cx<v4d>;  // storage; the other paths read the same bytes as their own lanes
static_assert(sizeof(Cx<Pair>) == sizeof(C4), "all lane types must share the layout");
#else
using C4 = Cx<Quad>;
#endif
static_assert(sizeof(Cx<Quad>) == sizeof(C4), "all lane types must share the layout");

struct Twiddle {
    double r1, i1, r2, i2, r3, i3;  // e^(-2 pi i e j / (4k)) for e = 1, 2, 3
};

}  // namespace

struct FastProfiler::Work {
    alignas(64) double tre[M * kRow];  // T, real and imaginary parts
    alignas(64) double tim[M * kRow];
    alignas(64) C4 col[N];        // one group of the pass along x
    alignas(64) C4 rowK[M];       // rows k1 of one group of the pass along m
    alignas(64) C4 rowMirror[M];  // rows -k1
    alignas(64) double mag[kCells];
    alignas(64) double acc[kAccumulators][kBins];
    alignas(64) std::uint16_t bins[kGroups][kCells];  // bin of the cell | bin of its mirror << 8
    Twiddle twX[4 + 16 + 64];  // radix-4 passes of the 256-point transform, spans 4, 16, 64
    Twiddle twM[2 + 8 + 32];   // of the 128-point one, spans 2, 8, 32
    double postCos[M], postSin[M];
    int revX[N];               // 8-bit reversal
    int revM[M];               // 7-bit reversal
    std::uint32_t rowKeys[N];  // the tally's hash keys (window_tally.h)
    std::uint32_t columnKeys[N];
    std::vector<double> scaled;  // a real window far from 1, scaled (allocated when first needed)
    bool extremes = true;        // the tally's low and high are wanted
};

namespace {

using Work = FastProfiler::Work;

int Reverse(int v, int bits) {
    int r = 0;
    for (int b = 0; b < bits; ++b) r |= ((v >> b) & 1) << (bits - 1 - b);
    return r;
}

// Bin of cell (i, j) of the centred spectrum, computed as the straightforward profile does.
int CellBin(int i, int j) {
    const double centre = (N - 1) * 0.5;
    const double di = i - centre, dj = j - centre;
    return int(std::sqrt(di * di + dj * dj));
}

// Bin of frequency (k1, k2), both taken modulo N; the centred plane holds it at k + N/2.
int FrequencyBin(int k1, int k2) {
    return CellBin(((k1 % N) + N + N / 2) % N, ((k2 % N) + N + N / 2) % N);
}

void FillTwiddles(Twiddle* tw, int k) {
    const double pi = 3.14159265358979323846;
    for (int j = 0; j < k; ++j) {
        const double a = 2 * pi * j / (4.0 * k);
        tw[j] = {std::cos(a),      -std::sin(a),    std::cos(2 * a),
                 -std::sin(2 * a), std::cos(3 * a), -std::sin(3 * a)};
    }
}

// Loads, stores and lane moves, for each kind of lanes.
FS_INLINE void Load(const double* p, Quad& v) { std::memcpy(&v, p, sizeof v); }
FS_INLINE void Store(double* p, Quad v) { std::memcpy(p, &v, sizeof v); }
FS_INLINE Quad Reversed(Quad v) { return {{v.lane[3], v.lane[2], v.lane[1], v.lane[0]}}; }

// Eight ints p[0..7]: the even ones to re, the odd ones to im.
FS_INLINE void LoadPacked(const std::int32_t* p, Cx<Quad>& z) {
    for (int l = 0; l < 4; ++l) {
        z.re.lane[l] = double(p[2 * l]);
        z.im.lane[l] = double(p[2 * l + 1]);
    }
}

// The same from a window of real values.
FS_INLINE void LoadPacked(const double* p, Cx<Quad>& z) {
    for (int l = 0; l < 4; ++l) {
        z.re.lane[l] = p[2 * l];
        z.im.lane[l] = p[2 * l + 1];
    }
}

// Rows r0..r3 (lanes = columns) stored as four rows of columns, stride apart.
FS_INLINE void StoreTransposed(Quad r0, Quad r1, Quad r2, Quad r3, double* dst, int stride) {
    for (int c = 0; c < 4; ++c) {
        double* row = dst + c * stride;
        row[0] = r0.lane[c];
        row[1] = r1.lane[c];
        row[2] = r2.lane[c];
        row[3] = r3.lane[c];
    }
}

#ifdef FRAMESIFTER_X86_VECTORS
FS_INLINE void Load(const double* p, v4d& v) { std::memcpy(&v, p, sizeof v); }
FS_INLINE void Load(const double* p, Pair& v) {
    v.lo = _mm_loadu_pd(p);
    v.hi = _mm_loadu_pd(p + 2);
}
FS_INLINE void Store(double* p, v4d v) { std::memcpy(p, &v, sizeof v); }
FS_INLINE void Store(double* p, Pair v) {
    _mm_storeu_pd(p, v.lo);
    _mm_storeu_pd(p + 2, v.hi);
}

FS_INLINE v4d Reversed(v4d v) { return __builtin_shufflevector(v, v, 3, 2, 1, 0); }
FS_INLINE Pair Reversed(Pair v) {
    return {_mm_shuffle_pd(v.hi, v.hi, 1), _mm_shuffle_pd(v.lo, v.lo, 1)};
}

// Eight ints p[0..7]: the even ones to re, the odd ones to im.
FS_INLINE void LoadPacked(const std::int32_t* p, Cx<v4d>& z) {
    v8i v;
    std::memcpy(&v, p, sizeof v);
    const v4i even = __builtin_shufflevector(v, v, 0, 2, 4, 6);
    const v4i odd = __builtin_shufflevector(v, v, 1, 3, 5, 7);
    z.re = __builtin_convertvector(even, v4d);
    z.im = __builtin_convertvector(odd, v4d);
}
FS_INLINE void LoadPacked(const std::int32_t* p, Cx<Pair>& z) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4));
    const __m128i a02 = _mm_shuffle_epi32(a, _MM_SHUFFLE(3, 1, 2, 0));  // 0 2 1 3
    const __m128i b02 = _mm_shuffle_epi32(b, _MM_SHUFFLE(3, 1, 2, 0));  // 4 6 5 7
    z.re = {_mm_cvtepi32_pd(a02), _mm_cvtepi32_pd(b02)};
    z.im = {_mm_cvtepi32_pd(_mm_unpackhi_epi64(a02, a02)),
            _mm_cvtepi32_pd(_mm_unpackhi_epi64(b02, b02))};
}
FS_INLINE void LoadPacked(const double* p, Cx<v4d>& z) {
    v4d a, b;
    std::memcpy(&a, p, sizeof a);
    std::memcpy(&b, p + 4, sizeof b);
    z.re = __builtin_shufflevector(a, b, 0, 2, 4, 6);
    z.im = __builtin_shufflevector(a, b, 1, 3, 5, 7);
}
FS_INLINE void LoadPacked(const double* p, Cx<Pair>& z) {
    const __m128d p01 = _mm_loadu_pd(p), p23 = _mm_loadu_pd(p + 2);
    const __m128d p45 = _mm_loadu_pd(p + 4), p67 = _mm_loadu_pd(p + 6);
    z.re = {_mm_unpacklo_pd(p01, p23), _mm_unpacklo_pd(p45, p67)};
    z.im = {_mm_unpackhi_pd(p01, p23), _mm_unpackhi_pd(p45, p67)};
}

// Rows r0..r3 (lanes = columns) stored as four rows of columns, stride apart.
FS_INLINE void StoreTransposed(v4d r0, v4d r1, v4d r2, v4d r3, double* dst, int stride) {
    const v4d t0 = __builtin_shufflevector(r0, r1, 0, 4, 2, 6);
    const v4d t1 = __builtin_shufflevector(r0, r1, 1, 5, 3, 7);
    const v4d t2 = __builtin_shufflevector(r2, r3, 0, 4, 2, 6);
    const v4d t3 = __builtin_shufflevector(r2, r3, 1, 5, 3, 7);
    Store(dst, __builtin_shufflevector(t0, t2, 0, 1, 4, 5));
    Store(dst + stride, __builtin_shufflevector(t1, t3, 0, 1, 4, 5));
    Store(dst + 2 * stride, __builtin_shufflevector(t0, t2, 2, 3, 6, 7));
    Store(dst + 3 * stride, __builtin_shufflevector(t1, t3, 2, 3, 6, 7));
}
FS_INLINE void StoreTransposed(Pair r0, Pair r1, Pair r2, Pair r3, double* dst, int stride) {
    Store(dst, Pair{_mm_unpacklo_pd(r0.lo, r1.lo), _mm_unpacklo_pd(r2.lo, r3.lo)});
    Store(dst + stride, Pair{_mm_unpackhi_pd(r0.lo, r1.lo), _mm_unpackhi_pd(r2.lo, r3.lo)});
    Store(dst + 2 * stride, Pair{_mm_unpacklo_pd(r0.hi, r1.hi), _mm_unpacklo_pd(r2.hi, r3.hi)});
    Store(dst + 3 * stride, Pair{_mm_unpackhi_pd(r0.hi, r1.hi), _mm_unpackhi_pd(r2.hi, r3.hi)});
}
#endif

// The window's tally, gathered as PassAlongX loads its values: sums, counts and extremes in
// the transform's own lanes (re: even rows, im: odd ones), and the hash's pair terms.
template <class V>
struct Gather {
    V sum, atCeiling, low, high;
    std::uint64_t hash[4];
};

FS_INLINE Quad Splat(double s, Quad) { return {{s, s, s, s}}; }
FS_INLINE Quad AtLeast(Quad v, Quad c) {
    for (int l = 0; l < 4; ++l) v.lane[l] = v.lane[l] >= c.lane[l] ? 1.0 : 0.0;
    return v;
}
FS_INLINE double LaneSum(Quad v) { return ((v.lane[0] + v.lane[1]) + v.lane[2]) + v.lane[3]; }
template <class V>
FS_INLINE double LaneMin(V v) {
    double l[4];
    Store(l, v);
    return std::min(std::min(l[0], l[1]), std::min(l[2], l[3]));
}
template <class V>
FS_INLINE double LaneMax(V v) {
    double l[4];
    Store(l, v);
    return std::max(std::max(l[0], l[1]), std::max(l[2], l[3]));
}

// The pair terms of eight values of one column (rows r..r+7), keys already offset by the
// column's; words as window_tally.h takes them.
FS_INLINE void HashTerms(const std::int32_t* p, const std::uint32_t* keys, std::uint32_t column,
                         std::uint64_t* hash) {
    for (int m = 0; m < 4; ++m)
        hash[m] += std::uint64_t(std::uint32_t(std::uint32_t(p[2 * m]) + keys[2 * m] + column)) *
                   std::uint32_t(std::uint32_t(p[2 * m + 1]) + keys[2 * m + 1] + column);
}
FS_INLINE void HashTerms(const double* p, const std::uint32_t* keys, std::uint32_t column,
                         std::uint64_t* hash) {
    for (int m = 0; m < 4; ++m)
        hash[m] += std::uint64_t(std::uint32_t(TallyWord(p[2 * m]) + keys[2 * m] + column)) *
                   std::uint32_t(TallyWord(p[2 * m + 1]) + keys[2 * m + 1] + column);
}

#ifdef FRAMESIFTER_X86_VECTORS
FS_INLINE v4d Splat(double s, v4d) { return v4d{s, s, s, s}; }
FS_INLINE v4d AtLeast(v4d v, v4d c) {
    const v4d one = {1, 1, 1, 1};
    typedef std::int64_t v4l __attribute__((vector_size(32)));
    return v4d(v4l(one) & v4l(v >= c));
}
FS_INLINE double LaneSum(v4d v) { return ((v[0] + v[1]) + v[2]) + v[3]; }
FS_INLINE Pair Splat(double s, Pair) { return {_mm_set1_pd(s), _mm_set1_pd(s)}; }
FS_INLINE Pair Min(Pair a, Pair b) { return {_mm_min_pd(a.lo, b.lo), _mm_min_pd(a.hi, b.hi)}; }
FS_INLINE Pair Max(Pair a, Pair b) { return {_mm_max_pd(a.lo, b.lo), _mm_max_pd(a.hi, b.hi)}; }
FS_INLINE Pair AtLeast(Pair v, Pair c) {
    const __m128d one = _mm_set1_pd(1.0);
    return {_mm_and_pd(_mm_cmpge_pd(v.lo, c.lo), one), _mm_and_pd(_mm_cmpge_pd(v.hi, c.hi), one)};
}
FS_INLINE double LaneSum(Pair v) {
    double l[4];
    Store(l, v);
    return ((l[0] + l[1]) + l[2]) + l[3];
}
// The int terms four at a time: each 64-bit lane's low word times its high word.
FS_INLINE void HashTermsVector(const std::int32_t* p, const std::uint32_t* keys,
                               std::uint32_t column, std::uint64_t* hash) {
    v8u v, k;
    std::memcpy(&v, p, sizeof v);
    std::memcpy(&k, keys, sizeof k);
    const v4u t = v4u(v + k + column);
    v4u h;
    std::memcpy(&h, hash, sizeof h);
    h += (t & 0xFFFFFFFFu) * (t >> 32);
    std::memcpy(hash, &h, sizeof h);
}
// The same for doubles, each folded to its word (TallyWord) in 32-bit lanes, then the words
// of rows 2m (re) and 2m + 1 (im) side by side, as the int terms have them.
FS_INLINE void HashTermsVector(const Cx<v4d>& z, const std::uint32_t* keys, std::uint32_t column,
                               std::uint64_t* hash) {
    const v8u fold = {1, 0x9E3779B1u, 1, 0x9E3779B1u, 1, 0x9E3779B1u, 1, 0x9E3779B1u};
    const auto words = [&](v4d v) {
        const v8u parts = v8u(v) * fold;  // low word, high word x the constant
        return parts + __builtin_shufflevector(parts, parts, 1, 0, 3, 2, 5, 4, 7, 6);
    };
    const v8u re = words(z.re), im = words(z.im);
    v8u k;
    std::memcpy(&k, keys, sizeof k);
    const v4u t = v4u(__builtin_shufflevector(re, im, 0, 8, 2, 10, 4, 12, 6, 14) + k + column);
    v4u h;
    std::memcpy(&h, hash, sizeof h);
    h += (t & 0xFFFFFFFFu) * (t >> 32);
    std::memcpy(hash, &h, sizeof h);
}
#endif

// The window's smallest and largest values. The baseline lanes take them with the loads (SSE2
// has no int minimum, and the loaded doubles are at hand); the others in a pass of their own
// over the window the transform has just read, still in cache: there two compares take eight
// values, where carrying them through the loads would cost registers the transform needs.
template <class V>
constexpr bool kExtremesInLoads =
#ifdef FRAMESIFTER_X86_VECTORS
    std::is_same<V, Pair>::value;
#else
    false;
#endif

template <class T>
FS_INLINE void Extremes(const T* window, WindowTally& tally) {
    // Whole 32-byte vectors, two of them a step: one compare each for a lane's minimum and
    // maximum, where the compiler leaves the plain loop a value at a time.
    typedef T Lanes __attribute__((vector_size(32)));
    constexpr int kLanes = int(sizeof(Lanes) / sizeof(T));
    Lanes low[2], high[2];
    std::memcpy(&low[0], window, sizeof(Lanes));
    low[1] = high[0] = high[1] = low[0];
    for (int p = 0; p < N * N; p += 2 * kLanes)
        for (int k = 0; k < 2; ++k) {
            Lanes v;
            std::memcpy(&v, window + p + k * kLanes, sizeof v);
            low[k] = v < low[k] ? v : low[k];
            high[k] = v > high[k] ? v : high[k];
        }
    T l = low[0][0], h = high[0][0];
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < kLanes; ++i) {
            l = std::min(l, T(low[k][i]));
            h = std::max(h, T(high[k][i]));
        }
    tally.low = double(l);
    tally.high = double(h);
}

template <class V, class T>
FS_INLINE void GatherChunk(const Cx<V>& z, const T* p, const Work& w, int group,
                           std::uint32_t column, V ceiling, Gather<V>& g) {
    const std::uint32_t* keys = w.rowKeys + 8 * group;
    g.sum = g.sum + (z.re + z.im);
    if constexpr (kExtremesInLoads<V>) {
        g.low = Min(g.low, Min(z.re, z.im));
        g.high = Max(g.high, Max(z.re, z.im));
    }
    // Real values have no largest value to reach.
    if constexpr (!std::is_same<T, double>::value)
        g.atCeiling = g.atCeiling + (AtLeast(z.re, ceiling) + AtLeast(z.im, ceiling));
#ifdef FRAMESIFTER_X86_VECTORS
    if constexpr (std::is_same<V, v4d>::value && std::is_same<T, std::int32_t>::value)
        return HashTermsVector(p, keys, column, g.hash);
    if constexpr (std::is_same<V, v4d>::value && std::is_same<T, double>::value)
        return HashTermsVector(z, keys, column, g.hash);
#endif
    HashTerms(p, keys, column, g.hash);
}

// One radix-4 decimation-in-time pass over n points in bit-reversed order whose blocks of k
// are already transformed. Within a block of 4k the sub-transforms of residues 0, 2, 1, 3
// sit at offsets 0, k, 2k, 3k.
template <class V>
FS_INLINE void Radix4Pass(Cx<V>* s, int n, int k, const Twiddle* tw) {
    for (int j = 0; j < k; ++j) {
        const Twiddle t = tw[j];
        for (int i = j; i < n; i += 4 * k) {
            Cx<V>& p0 = s[i];
            Cx<V>& p1 = s[i + k];
            Cx<V>& p2 = s[i + 2 * k];
            Cx<V>& p3 = s[i + 3 * k];
            const V a1r = p2.re * t.r1 - p2.im * t.i1;
            const V a1i = p2.re * t.i1 + p2.im * t.r1;
            const V a2r = p1.re * t.r2 - p1.im * t.i2;
            const V a2i = p1.re * t.i2 + p1.im * t.r2;
            const V a3r = p3.re * t.r3 - p3.im * t.i3;
            const V a3i = p3.re * t.i3 + p3.im * t.r3;
            const V sr = p0.re + a2r, si = p0.im + a2i;
            const V dr = p0.re - a2r, di = p0.im - a2i;
            const V tr = a1r + a3r, ti = a1i + a3i;
            const V ur = a1r - a3r, ui = a1i - a3i;
            p0.re = sr + tr;
            p0.im = si + ti;
            p2.re = sr - tr;
            p2.im = si - ti;
            p1.re = dr + ui;  // (A0 - A2) - i (A1 - A3)
            p1.im = di - ur;
            p3.re = dr - ui;  // (A0 - A2) + i (A1 - A3)
            p3.im = di + ur;
        }
    }
}

// The first radix-4 pass (span 1, no twiddles) on four loaded points.
template <class V>
FS_INLINE void FirstRadix4(const Cx<V>& x0, const Cx<V>& x1, const Cx<V>& x2, const Cx<V>& x3,
                           Cx<V>* out) {
    const V sr = x0.re + x1.re, si = x0.im + x1.im;
    const V dr = x0.re - x1.re, di = x0.im - x1.im;
    const V tr = x2.re + x3.re, ti = x2.im + x3.im;
    const V ur = x2.re - x3.re, ui = x2.im - x3.im;
    out[0].re = sr + tr;
    out[0].im = si + ti;
    out[2].re = sr - tr;
    out[2].im = si - ti;
    out[1].re = dr + ui;
    out[1].im = di - ur;
    out[3].re = dr - ui;
    out[3].im = di + ur;
}

// The transform along x of packed rows m = 4g..4g+3 (window rows 8g..8g+7), into T.
template <class V, class T>
FS_INLINE void PassAlongX(Work& w, const T* window, int g, V ceiling, Gather<V>& gather) {
    Cx<V>* s = reinterpret_cast<Cx<V>*>(w.col);
    for (int c = 0; c < N; c += 4) {
        Cx<V> x[4];
        for (int d = 0; d < 4; ++d) {
            const int column = w.revX[c + d];
            const T* p = window + column * N + 8 * g;
            LoadPacked(p, x[d]);
            GatherChunk(x[d], p, w, g, w.columnKeys[column], ceiling, gather);
        }
        FirstRadix4(x[0], x[1], x[2], x[3], s + c);
    }
    Radix4Pass(s, N, 4, w.twX);
    Radix4Pass(s, N, 16, w.twX + 4);
    Radix4Pass(s, N, 64, w.twX + 20);
    double* re = w.tre + 4 * g * kRow;
    double* im = w.tim + 4 * g * kRow;
    for (int c = 0; c < N; c += 4) {
        StoreTransposed(s[c].re, s[c + 1].re, s[c + 2].re, s[c + 3].re, re + c, kRow);
        StoreTransposed(s[c].im, s[c + 1].im, s[c + 2].im, s[c + 3].im, im + c, kRow);
    }
}

// Loads one group's columns of T in bit-reversed order of m, with the first (radix-2) pass.
template <class V>
FS_INLINE void Radix2Load(const double* re, const double* im, const int* rev, int offset,
                          bool mirrored, Cx<V>* s) {
    for (int c = 0; c < M; c += 2) {
        const int a = rev[c] * kRow + offset, b = rev[c + 1] * kRow + offset;
        V ar, ai, br, bi;
        Load(re + a, ar);
        Load(im + a, ai);
        Load(re + b, br);
        Load(im + b, bi);
        if (mirrored) {
            ar = Reversed(ar);
            ai = Reversed(ai);
            br = Reversed(br);
            bi = Reversed(bi);
        }
        s[c].re = ar + br;
        s[c].im = ai + bi;
        s[c + 1].re = ar - br;
        s[c + 1].im = ai - bi;
    }
}

// The transform along m of rows k1 = 4h..4h+3 and -k1, then |2W|^2 of the four rows, their
// square roots, and the sums into the bins.
template <class V>
FS_INLINE void PassAlongM(Work& w, int h) {
    Cx<V>* zk = reinterpret_cast<Cx<V>*>(w.rowK);
    Cx<V>* zm = reinterpret_cast<Cx<V>*>(w.rowMirror);
    // Lanes of the mirror rows run 256-4h, 255-4h, ... so that lane l holds -(4h + l).
    Radix2Load(w.tre, w.tim, w.revM, 4 * h, false, zk);
    Radix2Load(w.tre, w.tim, w.revM, N - 3 - 4 * h, true, zm);
    Radix4Pass(zk, M, 2, w.twM);
    Radix4Pass(zk, M, 8, w.twM + 2);
    Radix4Pass(zk, M, 32, w.twM + 10);
    Radix4Pass(zm, M, 2, w.twM);
    Radix4Pass(zm, M, 8, w.twM + 2);
    Radix4Pass(zm, M, 32, w.twM + 10);

    double* mag = w.mag;
    for (int q = 0; q < M; ++q) {
        const Cx<V>& a = zk[q];
        const Cx<V>& b = zm[(M - q) & (M - 1)];
        const V er = a.re + b.re, ei = a.im - b.im;  // 2E
        const V dr = a.re - b.re, di = a.im + b.im;  // 2iO
        const double c = w.postCos[q], s = w.postSin[q];
        const V pr = di * c - dr * s;  // e^(-2 pi i q / 256) 2O = (pr, -pn)
        const V pn = dr * c + di * s;
        const V xr = er + pr, xi = ei - pn;
        const V yr = er - pr, yi = ei + pn;
        Store(mag + q * 8, xr * xr + xi * xi);
        Store(mag + q * 8 + 4, yr * yr + yi * yi);
    }
    for (int n = 0; n < kCells; ++n) mag[n] = std::sqrt(mag[n]);

    const std::uint16_t* bins = w.bins[h];
    for (int n = 0; n < kCells; n += 8) {
        // Read before the first store: a store to acc might otherwise alias them all.
        double a[8];
        unsigned b[8];
        for (int l = 0; l < 8; ++l) {
            a[l] = mag[n + l];
            b[l] = bins[n + l];
        }
        for (int l = 0; l < 8; ++l) {
            w.acc[l][b[l] & 255] += a[l];
            w.acc[8 + l][b[l] >> 8] += a[l];
        }
    }
}

template <class V, class T>
FS_INLINE void ComputeAll(Work& w, const T* window, double ceiling, double* profile,
                          WindowTally& tally) {
    std::memset(w.acc, 0, sizeof w.acc);
    Gather<V> gather;
    gather.sum = gather.atCeiling = Splat(0.0, V());
    gather.low = Splat(std::numeric_limits<double>::infinity(), V());
    gather.high = Splat(-std::numeric_limits<double>::infinity(), V());
    std::fill_n(gather.hash, 4, std::uint64_t(0));
    const V ceilingLanes = Splat(ceiling, V());
    for (int g = 0; g < M / 4; ++g) PassAlongX<V, T>(w, window, g, ceilingLanes, gather);
    tally.mean = LaneSum(gather.sum) / (double(N) * N);
    tally.atCeiling = LaneSum(gather.atCeiling);
    tally.hash = gather.hash[0] + gather.hash[1] + gather.hash[2] + gather.hash[3];
    if constexpr (kExtremesInLoads<V>) {
        tally.low = LaneMin(gather.low);
        tally.high = LaneMax(gather.high);
    } else if (w.extremes) {
        Extremes(window, tally);
    }
    for (int m = 0; m < M; ++m) {
        w.tre[m * kRow + N] = w.tre[m * kRow];
        w.tim[m * kRow + N] = w.tim[m * kRow];
    }
    for (int h = 0; h < kGroups; ++h) PassAlongM<V>(w, h);

    // |2W| sqrt(2) / (2 * 65536) is the straightforward amplitude.
    const double scale = std::sqrt(2.0) / (2.0 * N * N);
    for (int b = 0; b < kUsedBins; ++b) {
        double sum = 0;
        for (int a = 0; a < kAccumulators; ++a) sum += w.acc[a][b];
        profile[b] = sum * scale;
    }
    for (int b = kUsedBins; b < kProfileBins; ++b) profile[b] = 0;
}

#ifdef FRAMESIFTER_X86_VECTORS
template <class T>
__attribute__((target("avx2"))) void ComputeAvx2(Work& w, const T* window, double ceiling,
                                                 double* profile, WindowTally& tally) {
    ComputeAll<v4d>(w, window, ceiling, profile, tally);
}
template <class T>
void ComputeBaseline(Work& w, const T* window, double ceiling, double* profile,
                     WindowTally& tally) {
    ComputeAll<Pair>(w, window, ceiling, profile, tally);
}
#endif

template <class T>
void ComputePortable(Work& w, const T* window, double ceiling, double* profile,
                     WindowTally& tally) {
    ComputeAll<Quad>(w, window, ceiling, profile, tally);
}

template <class T>
void ComputeOnPath(FastProfiler::CodePath path, Work& w, const T* window, double ceiling,
                   double* profile, WindowTally& tally) {
#ifdef FRAMESIFTER_X86_VECTORS
    if (path == FastProfiler::CodePath::Avx2)
        return ComputeAvx2(w, window, ceiling, profile, tally);
    if (path == FastProfiler::CodePath::Baseline)
        return ComputeBaseline(w, window, ceiling, profile, tally);
#endif
    ComputePortable(w, window, ceiling, profile, tally);
}

FastProfiler::CodePath Resolve(FastProfiler::CodePath asked) {
    using Path = FastProfiler::CodePath;
    if (asked == Path::Portable || !FastProfiler::vectorCodeBuilt()) return Path::Portable;
    if (asked == Path::Baseline) return Path::Baseline;
    return FastProfiler::avx2Available() ? Path::Avx2 : Path::Baseline;
}

}  // namespace

bool FastProfiler::vectorCodeBuilt() {
#ifdef FRAMESIFTER_X86_VECTORS
    return true;
#else
    return false;
#endif
}

bool FastProfiler::avx2Available() {
#ifdef FRAMESIFTER_X86_VECTORS
    // The check includes the operating system's support for the wider registers.
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return available;
#else
    return false;
#endif
}

FastProfiler::FastProfiler(CodePath path) : work_(new Work), path_(Resolve(path)) {
    static_assert(kUsedBins <= kProfileBins && kSink < 256, "bins must fit a byte");

    Work& w = *work_;
    std::memset(w.tre, 0, sizeof w.tre);
    std::memset(w.tim, 0, sizeof w.tim);
    for (int i = 0; i < N; ++i) w.revX[i] = Reverse(i, 8);
    for (int i = 0; i < M; ++i) w.revM[i] = Reverse(i, 7);
    for (int i = 0; i < N; ++i) {
        w.rowKeys[i] = TallyRowKey(i);
        w.columnKeys[i] = TallyColumnKey(i);
    }

    FillTwiddles(w.twX, 4);
    FillTwiddles(w.twX + 4, 16);
    FillTwiddles(w.twX + 20, 64);
    FillTwiddles(w.twM, 2);
    FillTwiddles(w.twM + 2, 8);
    FillTwiddles(w.twM + 10, 32);
    const double pi = 3.14159265358979323846;
    for (int q = 0; q < M; ++q) {
        w.postCos[q] = std::cos(2 * pi * q / N);
        w.postSin[q] = std::sin(2 * pi * q / N);
    }

    // Rows 1..127 stand for themselves and their mirrors 255..129; rows 0 and 128 are their
    // own mirrors and are computed whole; the last group's other lanes repeat rows 129..131.
    for (int h = 0; h < kGroups; ++h) {
        for (int q = 0; q < M; ++q) {
            for (int half = 0; half < 2; ++half) {
                for (int l = 0; l < 4; ++l) {
                    const int n = q * 8 + half * 4 + l;
                    const int k1 = 4 * h + l, k2 = q + half * M;
                    const bool counted = k1 <= M;
                    const bool selfMirrored = k1 == 0 || k1 == M;
                    const int own = counted ? FrequencyBin(k1, k2) : kSink;
                    const int mirror = counted && !selfMirrored ? FrequencyBin(-k1, -k2) : kSink;
                    w.bins[h][n] = std::uint16_t(own | mirror << 8);
                }
            }
        }
    }
}

FastProfiler::~FastProfiler() = default;

void FastProfiler::setGatherExtremes(bool on) { work_->extremes = on; }

void FastProfiler::compute(const std::int32_t* window, double* profile) {
    WindowTally unused;
    compute(window, profile, std::numeric_limits<std::int32_t>::max(), unused);
}

void FastProfiler::compute(const std::int32_t* window, double* profile, std::int32_t ceiling,
                           WindowTally& tally) {
    ComputeOnPath(path_, *work_, window, double(ceiling), profile, tally);
}

void FastProfiler::compute(const double* window, double* profile) {
    WindowTally unused;
    compute(window, profile, unused);
}

void FastProfiler::compute(const double* window, double* profile, WindowTally& tally) {
    constexpr std::size_t kValues = std::size_t(kSize) * kSize;
    const int exponent = RangeExponent(window, kValues);
    if (exponent == 0)
        return ComputeOnPath(path_, *work_, window, std::numeric_limits<double>::infinity(),
                             profile, tally);
    // Rare: the tally is of the values themselves, not of the scaled copy.
    tally = TallyWindow(window, kSize);
    work_->scaled.assign(window, window + kValues);
    ScaleByPowerOfTwo(work_->scaled.data(), kValues, exponent);
    WindowTally scaled;
    ComputeOnPath(path_, *work_, work_->scaled.data(), std::numeric_limits<double>::infinity(),
                  profile, scaled);
    ScaleByPowerOfTwo(profile, kProfileBins, -exponent);
}

}  // namespace framesifter
