#include "characteristic.h"

#include "fft.h"
#include "window_copy.h"

#include <cmath>

namespace {

// Clamps a corner computed in floating point into 0..limit before it becomes an int, so
// that a wild centroid cannot overflow the conversion.
int ClampCorner(double v, int limit) {
    if (!(v > 0)) return 0;   // also NaN
    if (v > limit) return limit;
    return int(v);
}

void PeakCornerBitmap(const Frame& f, int N, int& x0, int& y0) {
    int max = 0, px = 0, py = 0;
    for (int y = 0; y < f.height; ++y) {
        const std::uint8_t* row = f.bgr.data() + std::size_t(y) * std::size_t(f.width) * 3;
        for (int x = 0; x < f.width; ++x) {
            const int g = row[std::size_t(x) * 3 + 1];
            if (g > max) {
                max = g;
                px = x;
                py = y;
            }
        }
    }
    x0 = ClampCorner(px - N / 2, f.width - N);
    y0 = ClampCorner(py - N / 2, f.height - N);
}

void PeakCornerFits(const Frame& f, int N, int& x0, int& y0) {
    double s = 0, sx = 0, sy = 0;
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            const double v = f.plane[x][y];
            s += v;
            sx += v * x;
            sy += v * y;
        }
    }
    CornerFromCentroid(s, sx, sy, f.width, f.height, N, x0, y0);
}

}  // namespace

// The window is centred on the intensity centroid, as the bitmap rule centres it on the
// brightest pixel. A frame whose values add up to 0 has no centroid and gets the centre window.
void CornerFromCentroid(double s, double sx, double sy, int width, int height, int N, int& x0,
                        int& y0) {
    if (s == 0 || !std::isfinite(sx / s) || !std::isfinite(sy / s)) {
        x0 = (width - N) / 2;
        y0 = (height - N) / 2;
        return;
    }
    x0 = ClampCorner(sx / s - N / 2, width - N);
    y0 = ClampCorner(sy / s - N / 2, height - N);
}

void WindowCorner(const Frame& frame, int N, WindowMode mode, int& x0, int& y0) {
    if (mode == WindowMode::Centre || frame.kind == FrameKind::None) {
        x0 = (frame.width - N) / 2;
        y0 = (frame.height - N) / 2;
    } else if (frame.kind == FrameKind::Bitmap) {
        PeakCornerBitmap(frame, N, x0, y0);
    } else {
        PeakCornerFits(frame, N, x0, y0);
    }
}

void CopyWindow(const Frame& frame, int x0, int y0, int N, IntPlane& frameWindow) {
    if (frame.kind == FrameKind::Fits) {
        for (int i = 0; i < N; ++i) {
            const std::int32_t* column = frame.plane[x0 + i] + y0;
            std::int32_t* out = frameWindow[i];
            for (int j = 0; j < N; ++j) out[j] = column[j];
        }
    } else {
        const std::size_t stride = std::size_t(frame.width) * 3;
        SamplesToWindow(frame.bgr.data() + std::size_t(y0) * stride + std::size_t(x0) * 3 + 1,
                        std::ptrdiff_t(stride), 3, N, frameWindow);
    }
}

void TakeWindow(const Frame& frame, WindowMode mode, SelectorState& state) {
    int x0 = 0, y0 = 0;
    WindowCorner(frame, state.FftSize, mode, x0, y0);
    CopyWindow(frame, x0, y0, state.FftSize, state.FrameWindow);
}

void QuadrantSwap(RealPlane& p, RealPlane& temp, int N) {
    const int h = N / 2;
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) temp[i][j] = p[i][(j + h) % N];
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j) p[i][j] = temp[(i + h) % N][j];
}

int FrequencyTransform2D(RealPlane& im, RealPlane& re, SelectorState& state) {
    const int N = state.FftSize;
    double* lineRe = state.LineRe.get();
    double* lineIm = state.LineIm.get();
    const std::int32_t* bitrev = state.BitReverseTable.get();
    const double* sintbl = state.sintbl.get();

    QuadrantSwap(im, state.ShiftTemp, N);
    QuadrantSwap(re, state.ShiftTemp, N);
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) {
            lineRe[j] = re[j][i];
            lineIm[j] = im[j][i];
        }
        FftTransform(N, bitrev, sintbl, lineRe, lineIm);
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
        FftTransform(N, bitrev, sintbl, lineRe, lineIm);
        for (int j = 0; j < N; ++j) {
            im[i][j] = lineIm[j];
            re[i][j] = lineRe[j];
        }
    }
    QuadrantSwap(im, state.ShiftTemp, N);
    QuadrantSwap(re, state.ShiftTemp, N);
    return 0;
}

void RadialProfile(const RealPlane& re, const RealPlane& im, int N, double* profile) {
    for (int b = 0; b < kProfileBins; ++b) profile[b] = 0;
    const double centre = (N - 1) * 0.5;
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) {
            const double di = i - centre, dj = j - centre;
            const int b = int(std::sqrt(di * di + dj * dj));
            if (b >= kProfileBins) continue;
            profile[b] += std::sqrt(im[i][j] * im[i][j] + re[i][j] * re[i][j]);
        }
    }
}

void AnalyseFrame(SelectorState& state) {
    const int N = state.FftSize;
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) {
            const double v = state.FrameWindow[i][j];
            state.SpecRe[i][j] = v;
            state.SpecIm[i][j] = v;
        }
    }
    FrequencyTransform2D(state.SpecIm, state.SpecRe, state);
    RadialProfile(state.SpecRe, state.SpecIm, N, state.Profile);
}
