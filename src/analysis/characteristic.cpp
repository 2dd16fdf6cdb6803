#include "characteristic.h"

#include "analysis_results.h"
#include "value_range.h"

#include <cmath>
#include <vector>

namespace framesifter {

void QuadrantSwap(RealPlane& p, RealPlane& temp, int N) {
    const int h = N / 2;
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) temp[i][j] = p[i][(j + h) % N];
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) p[i][j] = temp[(i + h) % N][j];
}

bool FrequencyTransform2D(RealPlane& im, RealPlane& re, const FftPlan& plan, std::string& error) {
    const int N = plan.size();
    RealPlane shiftTemp;
    if (!AllocRealPlane(N, N, shiftTemp, error)) return false;
    std::vector<double> lineRe(static_cast<std::size_t>(N)), lineIm(static_cast<std::size_t>(N));

    QuadrantSwap(im, shiftTemp, N);
    QuadrantSwap(re, shiftTemp, N);
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) {
            lineRe[j] = re[j][i];
            lineIm[j] = im[j][i];
        }
        plan.forward(lineRe.data(), lineIm.data());
        for (int j = 0; j < N; ++j) {
            im[j][i] = lineIm[j];
            re[j][i] = lineRe[j];
        }
    }
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) {
            lineRe[j] = re[i][j];
            lineIm[j] = im[i][j];
        }
        plan.forward(lineRe.data(), lineIm.data());
        for (int j = 0; j < N; ++j) {
            im[i][j] = lineIm[j];
            re[i][j] = lineRe[j];
        }
    }
    QuadrantSwap(im, shiftTemp, N);
    QuadrantSwap(re, shiftTemp, N);
    return true;
}

namespace {

int RingBin(int i, int j, int N) {
    const double centre = (N - 1) * 0.5;
    const double di = i - centre, dj = j - centre;
    return int(std::sqrt(di * di + dj * dj));
}

}  // namespace

void RadialProfile(const RealPlane& re, const RealPlane& im, int N, double* profile) {
    for (int b = 0; b < kProfileBins; ++b) profile[b] = 0;
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) {
            const int b = RingBin(i, j, N);
            if (b >= kProfileBins) continue;
            profile[b] += std::sqrt(im[i][j] * im[i][j] + re[i][j] * re[i][j]);
        }
    }
}

std::vector<int> RingCellCounts(int N) {
    std::vector<int> cells(std::size_t(kProfileBins), 0);
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) {
            const int b = RingBin(i, j, N);
            if (b < kProfileBins) ++cells[std::size_t(b)];
        }
    return cells;
}

namespace {

template <class Value>
bool AnalyseValues(Value value, const FftPlan& plan, double* profile, std::string& error) {
    const int N = plan.size();
    RealPlane re, im;
    if (!AllocRealPlane(N, N, re, error) || !AllocRealPlane(N, N, im, error)) return false;
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) {
            const double v = value(i, j);
            re[i][j] = v;
            im[i][j] = v;
        }
    }
    if (!FrequencyTransform2D(im, re, plan, error)) return false;
    RadialProfile(re, im, N, profile);
    return true;
}

}  // namespace

bool AnalyseWindow(const IntPlane& window, const FftPlan& plan, double* profile,
                   std::string& error) {
    return AnalyseValues([&](int i, int j) { return double(window[i][j]); }, plan, profile, error);
}

bool AnalyseWindow(const double* window, const FftPlan& plan, double* profile, std::string& error) {
    const std::size_t N = std::size_t(plan.size());
    const int exponent = RangeExponent(window, N * N);
    if (!AnalyseValues(
            [&](int i, int j) { return std::ldexp(window[std::size_t(i) * N + j], exponent); },
            plan, profile, error))
        return false;
    ScaleByPowerOfTwo(profile, kProfileBins, -exponent);
    return true;
}

}  // namespace framesifter
