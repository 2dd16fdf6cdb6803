#include "fast_profile.h"

#include <cmath>
#include <cstring>

// The window w is real, and the straightforward transform gives (1 + i) W / 65536, W being
// the 2-D DFT of w; every amplitude is sqrt(2) |W| / 65536. Here:
//
// 1. Rows are packed in pairs: z[x][m] = w[x][2m] + i w[x][2m+1] (x = column 0..255,
//    m = 0..127). Each column's adjacent ints are exactly such a pair.
// 2. Z, the 256 x 128 complex DFT of z: first along x, four m at a time in the four lanes of
//    a vector; the result goes, transposed, into T[m][k1]. Then along m, four k1 at a time,
//    together with the four mirrored rows -k1.
// 3. With Zm = Z(-k1, -q): 2E = Z + conj Zm and 2O = -i (Z - conj Zm) are the DFTs of the
//    even and odd rows, and W(k1, q) = E + e^(-2 pi i q / 256) O, W(k1, q + 128) = E - ... O.
//    So the rows k1 = 0..128 give every |W| of the half spectrum; each one also stands for
//    its mirror cell (-k1, -k2), which has the same amplitude.
// 4. Each amplitude is added to the bins of its cell and of its mirror cell, read from a
//    table built with the very same distance formula as the straightforward profile.
//
// The vector code is plain GCC vector arithmetic without fused multiply-adds, compiled once
// for the baseline x86-64 and once for AVX2: lane for lane the same operations in the same
// order, so both give bit-identical profiles.

namespace {

typedef double v4d __attribute__((vector_size(32)));
typedef std::int32_t v8i __attribute__((vector_size(32)));
typedef std::int32_t v4i __attribute__((vector_size(16)));

#define FS_INLINE inline __attribute__((always_inline))

constexpr int N = FastProfiler::kSize;  // 256
constexpr int M = N / 2;                // packed length along a column
constexpr int kRow = N + 4;             // T row: k1 = 0..255, then k1 = 256 (= 0) for mirrors
constexpr int kGroups = M / 4 + 1;      // k1 = 4h..4h+3; the last group holds k1 = 128
constexpr int kCells = M * 2 * 4;       // per group: q, half (k2 = q or q + 128), lane
constexpr int kUsedBins = 181;          // the farthest cell lies 180.3 from the centre
constexpr int kSink = 183;              // bin for amplitudes counted elsewhere
constexpr int kBins = 184;
constexpr int kAccumulators = 16;       // separate sums break store-to-load chains

struct C4 {
    v4d re, im;
};

struct Twiddle {
    double r1, i1, r2, i2, r3, i3;  // e^(-2 pi i e j / (4k)) for e = 1, 2, 3
};

}  // namespace

struct FastProfiler::Work {
    alignas(64) double tre[M * kRow];  // T, real and imaginary parts
    alignas(64) double tim[M * kRow];
    alignas(64) C4 col[N];             // one group of the pass along x
    alignas(64) C4 rowK[M];            // rows k1 of one group of the pass along m
    alignas(64) C4 rowMirror[M];       // rows -k1
    alignas(64) double mag[kCells];
    alignas(64) double acc[kAccumulators][kBins];
    alignas(64) std::uint8_t binOwn[kGroups][kCells];
    alignas(64) std::uint8_t binMirror[kGroups][kCells];
    Twiddle twX[4 + 16 + 64];  // radix-4 passes of the 256-point transform, spans 4, 16, 64
    Twiddle twM[2 + 8 + 32];   // of the 128-point one, spans 2, 8, 32
    double postCos[M], postSin[M];
    int revX[N];  // 8-bit reversal
    int revM[M];  // 7-bit reversal
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
        tw[j] = {std::cos(a), -std::sin(a), std::cos(2 * a), -std::sin(2 * a),
                 std::cos(3 * a), -std::sin(3 * a)};
    }
}

// One radix-4 decimation-in-time pass over n points in bit-reversed order whose blocks of k
// are already transformed. Within a block of 4k the sub-transforms of residues 0, 2, 1, 3
// sit at offsets 0, k, 2k, 3k.
FS_INLINE void Radix4Pass(C4* s, int n, int k, const Twiddle* tw) {
    for (int j = 0; j < k; ++j) {
        const Twiddle t = tw[j];
        for (int i = j; i < n; i += 4 * k) {
            C4& p0 = s[i];
            C4& p1 = s[i + k];
            C4& p2 = s[i + 2 * k];
            C4& p3 = s[i + 3 * k];
            const v4d a1r = p2.re * t.r1 - p2.im * t.i1;
            const v4d a1i = p2.re * t.i1 + p2.im * t.r1;
            const v4d a2r = p1.re * t.r2 - p1.im * t.i2;
            const v4d a2i = p1.re * t.i2 + p1.im * t.r2;
            const v4d a3r = p3.re * t.r3 - p3.im * t.i3;
            const v4d a3i = p3.re * t.i3 + p3.im * t.r3;
            const v4d sr = p0.re + a2r, si = p0.im + a2i;
            const v4d dr = p0.re - a2r, di = p0.im - a2i;
            const v4d tr = a1r + a3r, ti = a1i + a3i;
            const v4d ur = a1r - a3r, ui = a1i - a3i;
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
FS_INLINE void FirstRadix4(const C4& x0, const C4& x1, const C4& x2, const C4& x3, C4* out) {
    const v4d sr = x0.re + x1.re, si = x0.im + x1.im;
    const v4d dr = x0.re - x1.re, di = x0.im - x1.im;
    const v4d tr = x2.re + x3.re, ti = x2.im + x3.im;
    const v4d ur = x2.re - x3.re, ui = x2.im - x3.im;
    out[0].re = sr + tr;
    out[0].im = si + ti;
    out[2].re = sr - tr;
    out[2].im = si - ti;
    out[1].re = dr + ui;
    out[1].im = di - ur;
    out[3].re = dr - ui;
    out[3].im = di + ur;
}

FS_INLINE v4d Load(const double* p) {
    v4d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

FS_INLINE void Store(double* p, v4d v) { std::memcpy(p, &v, sizeof v); }

FS_INLINE v4d Reversed(v4d v) { return __builtin_shufflevector(v, v, 3, 2, 1, 0); }

// Column x, packed rows m = 4g..4g+3: real parts from rows 8g, 8g+2, ..., imaginary parts
// from rows 8g+1, 8g+3, ...
FS_INLINE C4 LoadPacked(const std::int32_t* window, int x, int g) {
    v8i v;
    std::memcpy(&v, window + x * N + 8 * g, sizeof v);
    const v4i even = __builtin_shufflevector(v, v, 0, 2, 4, 6);
    const v4i odd = __builtin_shufflevector(v, v, 1, 3, 5, 7);
    return {__builtin_convertvector(even, v4d), __builtin_convertvector(odd, v4d)};
}

// Rows r[0..3] (lanes = columns) to columns, stored as four rows of dst with stride.
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

// The transform along x of packed rows 4g..4g+3, into T.
FS_INLINE void PassAlongX(Work& w, const std::int32_t* window, int g) {
    C4* s = w.col;
    for (int c = 0; c < N; c += 4) {
        const C4 x0 = LoadPacked(window, w.revX[c], g);
        const C4 x1 = LoadPacked(window, w.revX[c + 1], g);
        const C4 x2 = LoadPacked(window, w.revX[c + 2], g);
        const C4 x3 = LoadPacked(window, w.revX[c + 3], g);
        FirstRadix4(x0, x1, x2, x3, s + c);
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

FS_INLINE void Radix2Load(const double* re, const double* im, const int* rev, int offset,
                          bool mirrored, C4* s) {
    for (int c = 0; c < M; c += 2) {
        const int a = rev[c] * kRow + offset, b = rev[c + 1] * kRow + offset;
        v4d ar = Load(re + a), ai = Load(im + a), br = Load(re + b), bi = Load(im + b);
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
FS_INLINE void PassAlongM(Work& w, int h) {
    C4* zk = w.rowK;
    C4* zm = w.rowMirror;
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
        const C4& a = zk[q];
        const C4& b = zm[(M - q) & (M - 1)];
        const v4d er = a.re + b.re, ei = a.im - b.im;  // 2E
        const v4d dr = a.re - b.re, di = a.im + b.im;  // 2iO
        const double c = w.postCos[q], s = w.postSin[q];
        const v4d pr = di * c - dr * s;                // e^(-2 pi i q / 256) 2O = (pr, -pn)
        const v4d pn = dr * c + di * s;
        const v4d xr = er + pr, xi = ei - pn;
        const v4d yr = er - pr, yi = ei + pn;
        Store(mag + q * 8, xr * xr + xi * xi);
        Store(mag + q * 8 + 4, yr * yr + yi * yi);
    }
    for (int n = 0; n < kCells; ++n) mag[n] = std::sqrt(mag[n]);

    const std::uint8_t* own = w.binOwn[h];
    const std::uint8_t* mirror = w.binMirror[h];
    for (int n = 0; n < kCells; n += 8) {
        for (int l = 0; l < 8; ++l) {
            w.acc[l][own[n + l]] += mag[n + l];
            w.acc[8 + l][mirror[n + l]] += mag[n + l];
        }
    }
}

FS_INLINE void ComputeAll(Work& w, const std::int32_t* window, double* profile) {
    std::memset(w.acc, 0, sizeof w.acc);
    for (int g = 0; g < M / 4; ++g) PassAlongX(w, window, g);
    for (int m = 0; m < M; ++m) {
        w.tre[m * kRow + N] = w.tre[m * kRow];
        w.tim[m * kRow + N] = w.tim[m * kRow];
    }
    for (int h = 0; h < kGroups; ++h) PassAlongM(w, h);

    // |2W| sqrt(2) / (2 * 65536) is the straightforward amplitude.
    const double scale = std::sqrt(2.0) / (2.0 * N * N);
    for (int b = 0; b < kUsedBins; ++b) {
        double sum = 0;
        for (int a = 0; a < kAccumulators; ++a) sum += w.acc[a][b];
        profile[b] = sum * scale;
    }
    for (int b = kUsedBins; b < kProfileBins; ++b) profile[b] = 0;
}

__attribute__((target("avx2"))) void ComputeAvx2(Work& w, const std::int32_t* window,
                                                  double* profile) {
    ComputeAll(w, window, profile);
}

void ComputeBaseline(Work& w, const std::int32_t* window, double* profile) {
    ComputeAll(w, window, profile);
}

}  // namespace

bool FastProfiler::avx2Available() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

FastProfiler::FastProfiler(CodePath path) : work_(new Work) {
    static_assert(kUsedBins <= kProfileBins && kSink < 256, "bins must fit the table");
    if (path == CodePath::Auto || path == CodePath::Avx2)
        path_ = avx2Available() ? CodePath::Avx2 : CodePath::Baseline;
    else
        path_ = CodePath::Baseline;

    Work& w = *work_;
    std::memset(w.tre, 0, sizeof w.tre);
    std::memset(w.tim, 0, sizeof w.tim);
    for (int i = 0; i < N; ++i) w.revX[i] = Reverse(i, 8);
    for (int i = 0; i < M; ++i) w.revM[i] = Reverse(i, 7);
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
                    w.binOwn[h][n] = std::uint8_t(counted ? FrequencyBin(k1, k2) : kSink);
                    w.binMirror[h][n] = std::uint8_t(
                        counted && !selfMirrored ? FrequencyBin(-k1, -k2) : kSink);
                }
            }
        }
    }
}

FastProfiler::~FastProfiler() = default;

void FastProfiler::compute(const std::int32_t* window, double* profile) {
    if (path_ == CodePath::Avx2)
        ComputeAvx2(*work_, window, profile);
    else
        ComputeBaseline(*work_, window, profile);
}
