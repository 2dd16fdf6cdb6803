#include "fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

using namespace framesifter;

namespace {

struct Tables {
    explicit Tables(int n) : bitrev(std::size_t(n)), sine(std::size_t(n + n / 4)) {
        BuildBitReverseTable(n, bitrev.data());
        BuildSineTable(n, sine.data());
    }
    std::vector<std::int32_t> bitrev;
    std::vector<double> sine;
};

std::vector<std::complex<double>> NaiveDft(const std::vector<double>& x,
                                           const std::vector<double>& y, int sign) {
    const int n = int(x.size());
    std::vector<std::complex<double>> out(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        std::complex<double> sum;
        for (int j = 0; j < n; ++j) {
            const double angle = sign * 2 * M_PI * double((long long)j * k % n) / n;
            sum += std::complex<double>(x[j], y[j]) * std::polar(1.0, angle);
        }
        out[std::size_t(k)] = sign < 0 ? sum / double(n) : sum;
    }
    return out;
}

}  // namespace

TEST(FftTransform, MatchesNaiveDftInBothDirections) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> value(-1000, 1000);
    for (int n : {4, 8, 16, 32, 64, 256, 1024}) {
        for (int direction : {+1, -1}) {
            SCOPED_TRACE("n=" + std::to_string(n) + " direction=" + std::to_string(direction));
            Tables t(n);
            std::vector<double> x(static_cast<std::size_t>(n)), y(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i) x[i] = value(rng), y[i] = value(rng);
            // Forward uses e^(-2 pi i jk/N) and divides by N; inverse uses e^(+...).
            const auto expected = NaiveDft(x, y, direction > 0 ? -1 : +1);
            FftTransform(direction * n, t.bitrev.data(), t.sine.data(), x.data(), y.data());
            double worst = 0;
            for (int k = 0; k < n; ++k)
                worst = std::max(worst, std::abs(std::complex<double>(x[k], y[k]) - expected[k]));
            EXPECT_LT(worst, 1e-9 * (direction > 0 ? 1.0 : n));
        }
    }
}

TEST(FftTransform, InverseOfForwardGivesTheInputBack) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> value(0, 65535);
    const int n = 256;
    Tables t(n);
    std::vector<double> x(n), y(n);
    for (int i = 0; i < n; ++i) x[i] = value(rng), y[i] = value(rng);
    const auto x0 = x, y0 = y;
    FftTransform(n, t.bitrev.data(), t.sine.data(), x.data(), y.data());
    FftTransform(-n, t.bitrev.data(), t.sine.data(), x.data(), y.data());
    for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(x[i], x0[i], 1e-9);
        EXPECT_NEAR(y[i], y0[i], 1e-9);
    }
}

TEST(FftTransform, ImpulseOfLengthEight) {
    Tables t(8);
    double x[8] = {0, 1, 0, 0, 0, 0, 0, 0}, y[8] = {};
    FftTransform(8, t.bitrev.data(), t.sine.data(), x, y);
    EXPECT_DOUBLE_EQ(x[0], 0.125);
    EXPECT_NEAR(x[1], 0.0883883476, 1e-9);
    EXPECT_NEAR(y[1], -0.0883883476, 1e-9);
    EXPECT_NEAR(x[2], 0, 1e-15);
    EXPECT_NEAR(y[2], -0.125, 1e-15);
    // The inverse does not divide: it gives the impulse back.
    FftTransform(-8, t.bitrev.data(), t.sine.data(), x, y);
    for (int i = 0; i < 8; ++i) {
        EXPECT_NEAR(x[i], i == 1 ? 1.0 : 0.0, 1e-15) << i;
        EXPECT_NEAR(y[i], 0.0, 1e-15) << i;
    }
}

TEST(FftTransform, ConstantGivesOnlyTheZeroFrequency) {
    Tables t(256);
    std::vector<double> x(256, 42.0), y(256, 0.0);
    FftTransform(256, t.bitrev.data(), t.sine.data(), x.data(), y.data());
    EXPECT_NEAR(x[0], 42.0, 1e-12);
    for (int i = 1; i < 256; ++i) {
        EXPECT_NEAR(x[i], 0, 1e-12);
        EXPECT_NEAR(y[i], 0, 1e-12);
    }
}

TEST(FftTransform, LengthZeroChangesNothing) {
    Tables t(8);
    double x[4] = {1, 2, 3, 4}, y[4] = {5, 6, 7, 8};
    FftTransform(0, t.bitrev.data(), t.sine.data(), x, y);
    EXPECT_EQ(x[0], 1);
    EXPECT_EQ(x[3], 4);
    EXPECT_EQ(y[0], 5);
    EXPECT_EQ(y[3], 8);
}

TEST(BuildSineTable, ExactEntriesAndAccuracy) {
    std::vector<double> s(320, -7.0);
    BuildSineTable(256, s.data());
    EXPECT_EQ(s[0], 0.0);
    EXPECT_EQ(s[64], 1.0);
    EXPECT_EQ(s[192], -1.0);
    std::uint64_t bits;
    std::memcpy(&bits, &s[32], sizeof bits);
    EXPECT_EQ(bits, 0x3FE6A09E667F3BCDull);
    for (int i = 0; i < 320; ++i)
        EXPECT_NEAR(s[i], std::sin(2 * M_PI * i / 256), 1e-15) << "entry " << i;
}

TEST(BuildBitReverseTable, KnownEntries) {
    std::vector<std::int32_t> t8(8), t256(256);
    BuildBitReverseTable(8, t8.data());
    EXPECT_EQ(t8, (std::vector<std::int32_t>{0, 4, 2, 6, 1, 5, 3, 7}));
    BuildBitReverseTable(256, t256.data());
    EXPECT_EQ(t256[1], 128);
    EXPECT_EQ(t256[2], 64);
    EXPECT_EQ(t256[255], 255);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(t256[t256[i]], i);
}
