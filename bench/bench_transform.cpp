// Times one frame's analysis from the 256 x 256 window to the 400-bin profile:
//   the straightforward AnalyseFrame (complex FFT per column and row, quadrant swaps),
//   FastProfiler::compute, and as the floor FFTW's real 2-D transform of the same window
//   (measured plan) plus the amplitude sum over its half spectrum with the same bins.
// Each round times every method over the same windows in turn; the table gives medians
// over the rounds, in microseconds per window.
//
// usage: bench_transform [--rounds R]

#include "characteristic.h"
#include "fast_profile.h"

#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace framesifter;

using Clock = std::chrono::steady_clock;

namespace {

constexpr int N = 256;
constexpr int kHalf = N / 2 + 1;

// Sky with a banded, limb-darkened disc and noise, shifted per window.
std::vector<std::int32_t> TestWindow(unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0, 400);
    std::uniform_real_distribution<double> shift(-30, 30);
    const double cx = 127.5 + shift(rng), cy = 127.5 + shift(rng);
    std::vector<std::int32_t> w(std::size_t(N) * N);
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) {
            const double r = std::hypot(i - cx, j - cy);
            const double disc = 1 / (1 + std::exp((r - 70) / 3));
            const double bands = 1 + 0.2 * std::sin((j - cy) * 0.25);
            const double v = 1500 + 40000 * disc * bands * (1 - 0.3 * r / 70) + noise(rng);
            w[std::size_t(i) * N + j] = std::int32_t(std::clamp(std::lround(v), 0L, 65535L));
        }
    }
    return w;
}

// AVX2 where the processor has it, as FFTW itself and the fast profile use it.
__attribute__((target_clones("avx2", "default"))) void Amplitudes(const fftw_complex* z, double* a,
                                                                  int count) {
    for (int c = 0; c < count; ++c) a[c] = std::sqrt(z[c][0] * z[c][0] + z[c][1] * z[c][1]);
}

// FFTW's half spectrum out[k1 * 129 + k2], k2 = 0..128, to the profile. A cell (k1, k2)
// with 0 < k2 < 128 also stands for (-k1, -k2), which has the same amplitude.
struct FftwProfile {
    double* in;
    fftw_complex* out;
    fftw_plan plan;
    std::vector<int> own, mirror;  // bins; mirror = kSink where the mirror is in the half
    std::vector<double> amplitude;
    static constexpr int kSink = kProfileBins;

    FftwProfile() {
        in = fftw_alloc_real(std::size_t(N) * N);
        out = fftw_alloc_complex(std::size_t(N) * kHalf);
        plan = fftw_plan_dft_r2c_2d(N, N, in, out, FFTW_MEASURE);
        own.resize(std::size_t(N) * kHalf);
        mirror.resize(own.size());
        amplitude.resize(own.size());
        for (int k1 = 0; k1 < N; ++k1) {
            for (int k2 = 0; k2 < kHalf; ++k2) {
                own[k1 * kHalf + k2] = Bin(k1, k2);
                mirror[k1 * kHalf + k2] = (k2 == 0 || k2 == N / 2) ? kSink : Bin(N - k1, N - k2);
            }
        }
    }
    ~FftwProfile() {
        fftw_destroy_plan(plan);
        fftw_free(in);
        fftw_free(out);
    }
    // Frequency k (mod N) sits at index (k + N/2) mod N of the centred plane.
    static int Bin(int k1, int k2) {
        const double di = (k1 + N / 2) % N - 127.5, dj = (k2 + N / 2) % N - 127.5;
        return int(std::sqrt(di * di + dj * dj));
    }
    void Transform(const std::int32_t* window) {
        for (int n = 0; n < N * N; ++n) in[n] = window[n];
        fftw_execute(plan);
    }
    void Compute(const std::int32_t* window, double* profile) {
        Transform(window);
        // Amplitudes first, in a loop the compiler vectorises, then the sums into the bins.
        double* a = amplitude.data();
        Amplitudes(out, a, N * kHalf);
        // Eight separate sums, so that neighbouring cells of one bin do not wait on each other.
        double acc[8][kProfileBins + 1] = {};
        for (int c = 0; c < N * kHalf; ++c) {
            acc[c & 3][own[c]] += a[c];
            acc[4 + (c & 3)][mirror[c]] += a[c];
        }
        const double scale = std::sqrt(2.0) / (double(N) * N);
        for (int b = 0; b < kProfileBins; ++b) {
            double sum = 0;
            for (const auto& part : acc) sum += part[b];
            profile[b] = sum * scale;
        }
    }
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double MaxRelative(const double* ref, const double* p) {
    double worst = 0;
    for (int b = 0; b < kProfileBins; ++b)
        worst = std::max(worst, std::fabs(p[b] - ref[b]) / ref[0]);
    return worst;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 15;
    for (int a = 1; a < argc; ++a) {
        if (!std::strcmp(argv[a], "--rounds") && a + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++a]));
        } else {
            std::fprintf(stderr, "usage: %s [--rounds R]\n", argv[0]);
            return 2;
        }
    }

    std::vector<std::vector<std::int32_t>> windows;
    for (unsigned s = 1; s <= 8; ++s) windows.push_back(TestWindow(s));

    const FftPlan plan(N);
    IntPlane window;
    double straightProfile[kProfileBins];
    std::string error;
    if (!AllocIntPlane(N, N, window, error)) {
        std::fprintf(stderr, "bench_transform: %s\n", error.c_str());
        return 1;
    }
    FastProfiler fast;
    FastProfiler baseline(FastProfiler::CodePath::Baseline);
    std::printf("planning FFTW (FFTW_MEASURE)...\n");
    std::fflush(stdout);
    FftwProfile fftw;

    // Agreement on the first window, as a check that all of them compute the same thing.
    double ref[kProfileBins], p[kProfileBins];
    std::memcpy(window.data(), windows[0].data(), sizeof(std::int32_t) * N * N);
    if (!AnalyseWindow(window, plan, ref, error)) {
        std::fprintf(stderr, "bench_transform: %s\n", error.c_str());
        return 1;
    }
    fast.compute(windows[0].data(), p);
    const double fastDiff = MaxRelative(ref, p);
    fftw.Compute(windows[0].data(), p);
    const double fftwDiff = MaxRelative(ref, p);

    struct Method {
        const char* name;
        int repeats;  // passes over the windows per round
        std::function<void(const std::int32_t*)> run;
        std::vector<double> perWindow;
    };
    double sink = 0;
    std::vector<Method> methods = {
        {"straightforward AnalyseWindow",
         1,
         [&](const std::int32_t* w) {
             std::memcpy(window.data(), w, sizeof(std::int32_t) * N * N);
             // The window was analysed above: memory for it is there.
             (void)AnalyseWindow(window, plan, straightProfile, error);
             sink += straightProfile[30];
         },
         {}},
        {fast.codePath() == FastProfiler::CodePath::Avx2 ? "FastProfiler (AVX2)"
                                                         : "FastProfiler (baseline)",
         20,
         [&](const std::int32_t* w) {
             fast.compute(w, p);
             sink += p[30];
         },
         {}},
        {"FastProfiler (baseline)",
         20,
         [&](const std::int32_t* w) {
             baseline.compute(w, p);
             sink += p[30];
         },
         {}},
        {"FFTW r2c + amplitude sum",
         20,
         [&](const std::int32_t* w) {
             fftw.Compute(w, p);
             sink += p[30];
         },
         {}},
        {"  FFTW r2c alone",
         20,
         [&](const std::int32_t* w) {
             fftw.Transform(w);
             sink += fftw.out[5][0];
         },
         {}},
    };
    if (fast.codePath() == FastProfiler::CodePath::Baseline) methods.erase(methods.begin() + 2);

    for (int r = 0; r < rounds; ++r) {
        for (Method& m : methods) {
            const auto t0 = Clock::now();
            for (int k = 0; k < m.repeats; ++k)
                for (const auto& w : windows) m.run(w.data());
            const double s = std::chrono::duration<double>(Clock::now() - t0).count();
            m.perWindow.push_back(s * 1e6 / (m.repeats * double(windows.size())));
        }
    }

    std::printf("\n%-32s %12s %10s\n", "per 256x256 window", "median us", "min us");
    for (const Method& m : methods)
        std::printf("%-32s %12.1f %10.1f\n", m.name, Median(m.perWindow),
                    *std::min_element(m.perWindow.begin(), m.perWindow.end()));
    const double straight = Median(methods[0].perWindow), fastT = Median(methods[1].perWindow);
    const double fftwT = Median(methods[methods.size() - 2].perWindow);
    const double fftwAlone = Median(methods.back().perWindow);
    std::printf("\nfast / (FFTW + amplitude sum), target <= 2:  %.2f\n", fastT / fftwT);
    std::printf("fast / FFTW transform alone:                  %.2f\n", fastT / fftwAlone);
    if (methods.size() == 5)
        std::printf("baseline / (FFTW + amplitude sum):            %.2f\n",
                    Median(methods[2].perWindow) / fftwT);
    std::printf("straightforward / fast:                       %.1f\n", straight / fastT);
    std::printf("largest difference from AnalyseFrame, relative to bin 0: fast %.2g, FFTW %.2g\n",
                fastDiff, fftwDiff);
    std::printf("(%d rounds of %zu windows%s)\n", rounds, windows.size(), sink == 12345 ? "" : "");
    return 0;
}
