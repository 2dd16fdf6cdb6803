#include "characteristic.h"
#include "fast_profile.h"
#include "value_range.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace framesifter;

namespace {

constexpr int N = 256;
using Window = std::vector<std::int32_t>;  // [i * N + j], column i, row j

Window Make(const std::function<double(int, int)>& value) {
    Window w(std::size_t(N) * N);
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j)
            w[std::size_t(i) * N + j] = std::int32_t(std::lround(value(i, j)));
    return w;
}

Window Uniform(unsigned seed, std::int32_t lo, std::int32_t hi) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::int32_t> dist(lo, hi);
    return Make([&](int, int) { return dist(rng); });
}

// A blurred planet-like disc with bands, sky noise and a shift off the centre.
Window Disc(unsigned seed, double cx, double cy, double radius, double peak) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0, peak * 0.02);
    return Make([&](int i, int j) {
        const double r = std::hypot(i - cx, j - cy);
        const double edge = 1 / (1 + std::exp((r - radius) / 2.5));
        const double bands = 1 + 0.15 * std::sin((j - cy) * 0.3) * std::cos((i - cx) * 0.05);
        return std::clamp(peak * 0.05 + peak * 0.9 * edge * bands + noise(rng), 0.0, 65535.0);
    });
}

Window Cosine(double fi, double fj, double mean, double amplitude) {
    const double pi = 3.14159265358979323846;
    return Make(
        [=](int i, int j) { return mean + amplitude * std::cos(2 * pi * (fi * i + fj * j) / N); });
}

struct Case {
    std::string name;
    Window window;
};

std::vector<Case> Windows() {
    std::vector<Case> cases;
    for (unsigned seed = 1; seed <= 4; ++seed) {
        cases.push_back({"uniform 0..255 #" + std::to_string(seed), Uniform(seed, 0, 255)});
        cases.push_back(
            {"uniform 0..65535 #" + std::to_string(seed), Uniform(100 + seed, 0, 65535)});
    }
    // Signed 32-bit FITS data after the zero offset.
    cases.push_back({"signed +-2^30", Uniform(7, -(1 << 30), 1 << 30)});
    cases.push_back({"disc centred", Disc(11, 127.5, 127.5, 60, 40000)});
    cases.push_back({"disc shifted", Disc(12, 90.3, 171.8, 45, 60000)});
    cases.push_back({"disc 8-bit at the edge", Disc(13, 10, 240, 80, 255)});
    cases.push_back({"zero", Make([](int, int) { return 0; })});
    cases.push_back({"constant 255", Make([](int, int) { return 255; })});
    cases.push_back({"constant 65535", Make([](int, int) { return 65535; })});
    for (const auto& at : {std::pair{0, 0}, {128, 128}, {255, 0}, {17, 201}})
        cases.push_back(
            {"one pixel at " + std::to_string(at.first) + "," + std::to_string(at.second),
             Make([at](int i, int j) { return i == at.first && j == at.second ? 65535 : 0; })});
    for (const auto& f : {std::pair{10.0, 0.0},
                          {0.0, 10.0},
                          {1.0, 0.0},
                          {37.0, 91.0},
                          {-64.0, 64.0},
                          {128.0, 0.0},
                          {128.0, 128.0},
                          {3.5, -120.25}})
        cases.push_back({"cosine " + std::to_string(f.first) + "," + std::to_string(f.second),
                         Cosine(f.first, f.second, 100, 50)});
    cases.push_back(
        {"checkerboard 0/65535", Make([](int i, int j) { return (i + j) % 2 ? 65535 : 0; })});
    cases.push_back({"columns 0/65535", Make([](int i, int) { return i % 2 ? 0 : 65535; })});
    cases.push_back({"half bright", Make([](int i, int) { return i < 128 ? 65535 : 0; })});
    return cases;
}

std::vector<double> Reference(const Window& w) {
    static const FftPlan plan(FastProfiler::kSize);
    IntPlane window;
    std::string error;
    EXPECT_TRUE(AllocIntPlane(FastProfiler::kSize, FastProfiler::kSize, window, error));
    std::memcpy(window.data(), w.data(), w.size() * sizeof w[0]);
    std::vector<double> profile(kProfileBins);
    EXPECT_TRUE(AnalyseWindow(window, plan, profile.data(), error)) << error;
    return profile;
}

std::vector<double> Fast(FastProfiler& p, const Window& w) {
    std::vector<double> out(kProfileBins, -1.0);
    p.compute(w.data(), out.data());
    return out;
}

void ExpectSameProfile(const std::vector<double>& ref, const std::vector<double>& fast,
                       const std::string& what, double& worst, std::string& worstCase) {
    const double tolerance = 1e-9 * ref[0];
    for (int b = 0; b < kProfileBins; ++b) {
        const double diff = std::fabs(fast[b] - ref[b]);
        if (ref[0] > 0 && diff / ref[0] > worst) {
            worst = diff / ref[0];
            worstCase = what;
        }
        ASSERT_LE(diff, tolerance)
            << what << ", bin " << b << ": fast " << fast[b] << ", straightforward " << ref[b];
    }
}

const char* PathName(FastProfiler::CodePath path) {
    switch (path) {
    case FastProfiler::CodePath::Portable:
        return "portable";
    case FastProfiler::CodePath::Baseline:
        return "SSE2";
    case FastProfiler::CodePath::Avx2:
        return "AVX2";
    default:
        return "?";
    }
}

TEST(FastProfile, MatchesStraightforwardProfile) {
    for (auto path : {FastProfiler::CodePath::Portable, FastProfiler::CodePath::Baseline,
                      FastProfiler::CodePath::Auto}) {
        FastProfiler profiler(path);
        double worst = 0;
        std::string worstCase;
        for (const Case& c : Windows())
            ExpectSameProfile(Reference(c.window), Fast(profiler, c.window), c.name, worst,
                              worstCase);
        std::printf("largest difference relative to bin 0 (%s): %.3g (%s)\n",
                    PathName(profiler.codePath()), worst, worstCase.c_str());
    }
}

TEST(FastProfile, KnownProfiles) {
    FastProfiler profiler;
    // Constant c: c * sqrt(2) in bin 0, nothing elsewhere.
    auto p = Fast(profiler, Make([](int, int) { return 255; }));
    EXPECT_NEAR(p[0], 255 * std::sqrt(2.0), 1e-9);
    for (int b = 1; b < kProfileBins; ++b) ASSERT_LE(std::fabs(p[b]), 1e-12) << "bin " << b;
    // A cosine of 10 cycles across the columns lands half in bin 9, half in bin 10.
    p = Fast(profiler, Cosine(10, 0, 100, 50));
    EXPECT_NEAR(p[0], 100 * std::sqrt(2.0), 0.1);
    EXPECT_NEAR(p[9], 25 * std::sqrt(2.0), 0.1);
    EXPECT_NEAR(p[10], 25 * std::sqrt(2.0), 0.1);
    // Bins beyond the farthest cell stay exactly 0 whatever the window.
    p = Fast(profiler, Uniform(3, 0, 65535));
    EXPECT_GT(p[180], 0);
    for (int b = 181; b < kProfileBins; ++b) ASSERT_EQ(p[b], 0.0) << "bin " << b;
}

bool BitIdentical(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0;
}

TEST(FastProfile, DeterministicAcrossInstancesPathsAndThreads) {
    const std::vector<Case> cases = Windows();
    FastProfiler first, second;
    FastProfiler baseline(FastProfiler::CodePath::Baseline);
    FastProfiler portable(FastProfiler::CodePath::Portable);
    std::vector<std::vector<double>> expected;
    for (const Case& c : cases) expected.push_back(Fast(first, c.window));
    // Second pass in reverse order, so that every window follows a different one.
    for (std::size_t k = cases.size(); k-- > 0;) {
        EXPECT_TRUE(BitIdentical(Fast(first, cases[k].window), expected[k])) << cases[k].name;
        EXPECT_TRUE(BitIdentical(Fast(second, cases[k].window), expected[k])) << cases[k].name;
        EXPECT_TRUE(BitIdentical(Fast(baseline, cases[k].window), expected[k])) << cases[k].name;
        EXPECT_TRUE(BitIdentical(Fast(portable, cases[k].window), expected[k])) << cases[k].name;
    }

    // Two threads, each with its own profiler, over the same windows at the same time.
    std::vector<std::vector<double>> results[2];
    auto run = [&](int t) {
        FastProfiler own;
        for (int round = 0; round < 3; ++round)
            for (const Case& c : cases) results[t].push_back(Fast(own, c.window));
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
    for (int t = 0; t < 2; ++t) {
        ASSERT_EQ(results[t].size(), 3 * cases.size());
        for (std::size_t k = 0; k < results[t].size(); ++k)
            EXPECT_TRUE(BitIdentical(results[t][k], expected[k % cases.size()]))
                << "thread " << t << ", " << cases[k % cases.size()].name;
    }
}

// The tally gathered with the transform is TallyWindow's on every code path: exact for int
// windows, and within rounding of the lanes' sums for real ones. Its hash tells a changed
// window from the original, and leaves the mean to tell equal sums apart.
TEST(FastProfile, GathersTheWindowsTally) {
    std::vector<Case> cases = Windows();
    Window changed = cases[0].window;
    changed[std::size_t(17) * N + 200] += 1;
    cases.push_back({"one value one higher", changed});
    std::swap(changed[5], changed[6]);
    cases.push_back({"two neighbours swapped", changed});
    std::swap(changed[N + 9], changed[2 * N + 9]);
    cases.push_back({"two columns' values swapped", changed});
    const std::int32_t ceilings[] = {255, 65535, INT32_MAX};
    std::vector<std::uint64_t> hashes;
    for (auto path : {FastProfiler::CodePath::Portable, FastProfiler::CodePath::Baseline,
                      FastProfiler::CodePath::Auto}) {
        FastProfiler profiler(path);
        std::vector<double> profile(kProfileBins);
        for (const Case& c : cases) {
            for (std::int32_t ceiling : ceilings) {
                SCOPED_TRACE(c.name + " at " + std::to_string(ceiling) + ", " +
                             PathName(profiler.codePath()));
                WindowTally got;
                profiler.compute(c.window.data(), profile.data(), ceiling, got);
                const WindowTally want = TallyWindow(c.window.data(), N, ceiling);
                EXPECT_EQ(got.mean, want.mean);
                EXPECT_EQ(got.atCeiling, want.atCeiling);
                EXPECT_EQ(got.hash, want.hash);
            }
            std::vector<double> real(c.window.begin(), c.window.end());
            for (double& v : real) v = v * 0.25 + 0.125;
            WindowTally got;
            profiler.compute(real.data(), profile.data(), got);
            const WindowTally want = TallyWindow(real.data(), N);
            EXPECT_NEAR(got.mean, want.mean, 1e-12 * std::max(1.0, std::fabs(want.mean))) << c.name;
            EXPECT_EQ(got.atCeiling, 0) << c.name;
            EXPECT_EQ(got.hash, want.hash) << c.name;
            if (path == FastProfiler::CodePath::Auto) hashes.push_back(got.hash);
        }
    }
    std::sort(hashes.begin(), hashes.end());
    EXPECT_EQ(std::unique(hashes.begin(), hashes.end()), hashes.end()) << "two windows, one hash";
}

// The window's smallest and largest values, gathered with the transform on every code path
// and by TallyWindow, are those a plain loop finds, wherever they lie: int windows, real
// ones, and real ones far from 1 (scaled before the transform).
TEST(FastProfile, GathersTheWindowsExtremes) {
    std::vector<Case> cases = Windows();
    for (const auto& at : {std::pair{255, 255}, {0, 1}, {254, 255}, {128, 0}})
        cases.push_back(
            {"one low pixel at " + std::to_string(at.first) + "," + std::to_string(at.second),
             Make([at](int i, int j) {
                 return i == at.first && j == at.second ? -70000 : 1000 + (i ^ j);
             })});
    const double realScales[] = {0.25, -3.5, 1e-200, 1e200};
    for (auto path : {FastProfiler::CodePath::Portable, FastProfiler::CodePath::Baseline,
                      FastProfiler::CodePath::Auto}) {
        FastProfiler profiler(path);
        std::vector<double> profile(kProfileBins);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name + ", " + PathName(profiler.codePath()));
            const auto [low, high] = std::minmax_element(c.window.begin(), c.window.end());
            WindowTally got;
            profiler.compute(c.window.data(), profile.data(), INT32_MAX, got);
            const WindowTally plain = TallyWindow(c.window.data(), N, INT32_MAX);
            for (const WindowTally& t : {got, plain}) {
                EXPECT_EQ(t.low, double(*low));
                EXPECT_EQ(t.high, double(*high));
            }
            for (double scale : realScales) {
                std::vector<double> real(c.window.begin(), c.window.end());
                for (double& v : real) v = v * scale + 0.125 * scale;
                const auto [realLow, realHigh] = std::minmax_element(real.begin(), real.end());
                WindowTally gotReal;
                profiler.compute(real.data(), profile.data(), gotReal);
                const WindowTally plainReal = TallyWindow(real.data(), N);
                for (const WindowTally& t : {gotReal, plainReal}) {
                    EXPECT_EQ(t.low, *realLow) << "scale " << scale;
                    EXPECT_EQ(t.high, *realHigh) << "scale " << scale;
                }
            }
        }
    }
}

// The power of two a real window is scaled by comes from its largest finite magnitude,
// wherever it lies; NaN is passed over and an infinity leaves the window unscaled.
TEST(FastProfile, RangeExponentFindsTheLargestMagnitude) {
    const double nan = std::nan("");
    const double inf = HUGE_VAL;
    const struct {
        const char* name;
        std::vector<double> values;
        int exponent;
    } cases[] = {
        {"zeros", {0, 0, 0, 0, 0}, 0},
        {"ordinary", {1, -300, 65535, 0.5}, 0},
        {"huge last, past the lanes", {1, 2, 3, 4, 5, 6, 7, 8, -0x1p300}, -300},
        {"huge among NaN", {nan, 0x1p400, nan, 1, nan}, -400},
        {"tiny", {0x1p-300, -0x1p-290, 0}, 290},
        {"an infinity", {1, inf, 0x1p400}, 0},
        {"all NaN", {nan, nan, nan, nan}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RangeExponent(c.values.data(), c.values.size()), c.exponent) << c.name;
}

}  // namespace
