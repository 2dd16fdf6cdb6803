#include "analysis_results.h"
#include "characteristic.h"
#include "window_corner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <random>
#include <vector>

using namespace framesifter;

namespace {

class Characteristic : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(AllocIntPlane(256, 256, window, error));
        ASSERT_TRUE(AllocRealPlane(256, 256, re, error));
        ASSERT_TRUE(AllocRealPlane(256, 256, im, error));
        ASSERT_TRUE(AllocRealPlane(256, 256, temp, error));
    }
    void FillWindow(const std::function<int(int, int)>& value) {
        for (int i = 0; i < 256; ++i)
            for (int j = 0; j < 256; ++j) window[i][j] = value(i, j);
    }
    void Analyse() { ASSERT_TRUE(AnalyseWindow(window, plan, profile, error)) << error; }
    const FftPlan plan{256};
    IntPlane window;
    RealPlane re, im, temp;
    double profile[kProfileBins] = {};
    std::string error;
};

Frame BitmapFrame(int w, int h, std::uint8_t green = 0) {
    Frame f;
    f.kind = FrameKind::Bitmap;
    f.width = w;
    f.height = h;
    f.bgr.assign(std::size_t(w) * h * 3, 0);
    for (std::size_t p = 0; p < std::size_t(w) * h; ++p) f.bgr[p * 3 + 1] = green;
    return f;
}

void SetGreen(Frame& f, int x, int y, std::uint8_t g) {
    f.bgr[(std::size_t(y) * f.width + x) * 3 + 1] = g;
}

Frame FitsFrame(int w, int h) {
    Frame f;
    f.kind = FrameKind::Fits;
    f.width = w;
    f.height = h;
    std::string error;
    EXPECT_TRUE(AllocIntPlane(w, h, f.plane, error)) << error;
    return f;
}

}  // namespace

TEST_F(Characteristic, ConstantWindowHasOnlyBinZero) {
    for (int c : {0, 1, 255, 65535}) {
        FillWindow([c](int, int) { return c; });
        Analyse();
        EXPECT_NEAR(profile[0], c * std::sqrt(2.0), 1e-9 * (c + 1)) << c;
        for (int b = 1; b < kProfileBins; ++b) ASSERT_NEAR(profile[b], 0, 1e-9) << b;
    }
}

TEST_F(Characteristic, CosineLandsInNeighbouringBins) {
    FillWindow(
        [](int i, int) { return int(std::lround(100 + 50 * std::cos(2 * M_PI * 10 * i / 256))); });
    Analyse();
    EXPECT_NEAR(profile[0], 100 * std::sqrt(2.0), 0.6);
    EXPECT_NEAR(profile[9], 25 * std::sqrt(2.0), 0.6);
    EXPECT_NEAR(profile[10], 25 * std::sqrt(2.0), 0.6);
    // Only the rounding of pixel values to integers leaks into other bins.
    for (int b = 1; b < kProfileBins; ++b)
        if (b != 9 && b != 10) {
            EXPECT_LT(profile[b], 1.0) << b;
        }
}

TEST_F(Characteristic, AddingAConstantChangesOnlyBinZero) {
    std::mt19937 rng(3);
    std::vector<int> pixels(65536);
    for (int& p : pixels) p = int(rng() % 4096);
    FillWindow([&](int i, int j) { return pixels[i * 256 + j]; });
    Analyse();
    std::vector<double> before(profile, profile + kProfileBins);
    FillWindow([&](int i, int j) { return pixels[i * 256 + j] + 1000; });
    Analyse();
    EXPECT_NEAR(profile[0] - before[0], 1000 * std::sqrt(2.0), 1e-6);
    for (int b = 1; b < kProfileBins; ++b) EXPECT_NEAR(profile[b], before[b], 1e-7) << b;
    for (int b = 181; b < kProfileBins; ++b) EXPECT_EQ(profile[b], 0.0) << b;
}

TEST_F(Characteristic, TransformIsTheCentredTwoDimensionalDft) {
    // A separable naive DFT of a random window (O(N^3)) against the program's transform.
    const int N = 256;
    std::mt19937 rng(5);
    std::vector<double> w(N * N);
    for (double& v : w) v = double(rng() % 1000);
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) re[i][j] = w[i * N + j], im[i][j] = 0;
    ASSERT_TRUE(FrequencyTransform2D(im, re, plan, error)) << error;

    std::vector<std::complex<double>> rows(N * N), full(N * N);
    std::vector<std::complex<double>> twiddle(N);
    for (int k = 0; k < N; ++k) twiddle[k] = std::polar(1.0, -2 * M_PI * k / N);
    for (int i = 0; i < N; ++i)  // along j for every i
        for (int v = 0; v < N; ++v) {
            std::complex<double> s;
            for (int j = 0; j < N; ++j) s += w[i * N + j] * twiddle[(j * v) % N];
            rows[i * N + v] = s;
        }
    for (int v = 0; v < N; ++v)  // then along i
        for (int u = 0; u < N; ++u) {
            std::complex<double> s;
            for (int i = 0; i < N; ++i) s += rows[i * N + v] * twiddle[(i * u) % N];
            full[u * N + v] = s / double(N * N);
        }
    double worst = 0;
    for (int u = -128; u < 128; ++u)
        for (int v = -128; v < 128; ++v) {
            const auto expected = full[((u + N) % N) * N + (v + N) % N];
            const std::complex<double> got(re[u + 128][v + 128], im[u + 128][v + 128]);
            // The first swap flips the sign of odd u+v; amplitudes are what matters.
            worst = std::max(worst, std::abs(std::abs(got) - std::abs(expected)));
        }
    EXPECT_LT(worst, 1e-9);
}

TEST_F(Characteristic, ProfileCountsCellsByTruncatedDistance) {
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < 256; ++j) re[i][j] = 1.0, im[i][j] = 0.0;
    RadialProfile(re, im, 256, profile);
    const double expected[] = {4, 8, 20, 20, 28, 32};
    for (int b = 0; b < 6; ++b) EXPECT_EQ(profile[b], expected[b]) << b;
    EXPECT_EQ(profile[180], 4);
    double total = 0;
    for (double v : profile) total += v;
    EXPECT_EQ(total, 65536);
    for (int b = 181; b < kProfileBins; ++b) EXPECT_EQ(profile[b], 0.0);
    const std::vector<int> cells = RingCellCounts(256);
    ASSERT_EQ(cells.size(), std::size_t(kProfileBins));
    for (int b = 0; b < kProfileBins; ++b) EXPECT_EQ(cells[std::size_t(b)], profile[b]) << b;
}

TEST_F(Characteristic, QuadrantSwapExchangesDiagonally) {
    RealPlane p;
    ASSERT_TRUE(AllocRealPlane(256, 256, p, error));
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < 256; ++j) p[i][j] = i * 1000 + j;
    QuadrantSwap(p, temp, 256);
    for (int i = 0; i < 256; i += 37)
        for (int j = 0; j < 256; j += 41)
            EXPECT_EQ(p[i][j], ((i + 128) % 256) * 1000 + (j + 128) % 256);
}

struct CornerCase {
    const char* name;
    std::function<Frame()> make;
    WindowMode mode;
    int x0, y0;
};

TEST(WindowCorner, PlacesTheWindowInsideTheFrame) {
    const CornerCase cases[] = {
        {"256x256 centre", [] { return BitmapFrame(256, 256); }, WindowMode::Centre, 0, 0},
        {"256x256 peak",
         [] {
             auto f = BitmapFrame(256, 256);
             SetGreen(f, 200, 200, 9);
             return f;
         },
         WindowMode::Peak, 0, 0},
        {"300x257 centre", [] { return BitmapFrame(300, 257); }, WindowMode::Centre, 22, 0},
        {"first of equal peaks wins",
         [] {
             auto f = BitmapFrame(800, 600);
             SetGreen(f, 10, 5, 200);
             SetGreen(f, 400, 3, 200);
             return f;
         },
         WindowMode::Peak, 272, 0},
        {"peak near the far corner",
         [] {
             auto f = BitmapFrame(800, 600);
             SetGreen(f, 790, 590, 1);
             return f;
         },
         WindowMode::Peak, 544, 344},
        {"all black bitmap", [] { return BitmapFrame(640, 480); }, WindowMode::Peak, 0, 0},
        {"fits window centred on the centroid",
         [] {
             auto f = FitsFrame(640, 480);
             f.plane[320][240] = 5;
             return f;
         },
         WindowMode::Peak, 192, 112},
        {"fits centroid off centre",
         [] {
             auto f = FitsFrame(640, 480);
             f.plane[400][300] = 5;
             return f;
         },
         WindowMode::Peak, 272, 172},
        {"fits centroid between pixels truncates",
         [] {
             auto f = FitsFrame(640, 480);
             f.plane[300][200] = 1;
             f.plane[301][201] = 1;
             return f;
         },
         WindowMode::Peak, 172, 72},
        {"fits centroid near the top left",
         [] {
             auto f = FitsFrame(640, 480);
             f.plane[100][20] = 5;
             return f;
         },
         WindowMode::Peak, 0, 0},
        {"fits centroid far right",
         [] {
             auto f = FitsFrame(640, 480);
             f.plane[639][479] = 5;
             return f;
         },
         WindowMode::Peak, 384, 224},
        {"fits sum zero uses centre",
         [] {
             auto f = FitsFrame(640, 480);
             f.plane[0][0] = 5;
             f.plane[1][0] = -5;
             return f;
         },
         WindowMode::Peak, 192, 112},
        {"fits wild centroid is clamped",
         [] {
             auto f = FitsFrame(640, 480);
             f.plane[639][0] = 1000000;
             f.plane[0][0] = -999999;
             return f;
         },
         WindowMode::Peak, 384, 0},
        {"fits centre", [] { return FitsFrame(640, 480); }, WindowMode::Centre, 192, 112},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Frame f = c.make();
        int x0 = -1, y0 = -1;
        WindowCorner(f, 256, c.mode, x0, y0);
        EXPECT_EQ(x0, c.x0);
        EXPECT_EQ(y0, c.y0);
    }
}

TEST(CopyWindow, TakesGreenBytesAndFitsValuesByColumnAndRow) {
    Frame bmp = BitmapFrame(300, 260);
    for (std::size_t p = 0; p < bmp.bgr.size(); p += 3) bmp.bgr[p] = 7, bmp.bgr[p + 2] = 9;
    SetGreen(bmp, 22 + 5, 2 + 3, 77);
    Frame fits = FitsFrame(300, 260);
    fits.plane[22 + 5][2 + 3] = 65535;
    IntPlane window;
    std::string error;
    ASSERT_TRUE(AllocIntPlane(256, 256, window, error));
    CopyWindow(bmp, 22, 2, 256, window);
    EXPECT_EQ(window[5][3], 77);
    EXPECT_EQ(window[3][5], 0);
    CopyWindow(fits, 22, 2, 256, window);
    EXPECT_EQ(window[5][3], 65535);
    EXPECT_EQ(window[3][5], 0);
}
