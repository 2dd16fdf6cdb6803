#include "window_corner.h"

#include "green_peak.h"
#include "window_copy.h"

#include <cmath>

namespace framesifter {

namespace {

// Clamps a corner computed in floating point into 0..limit before it becomes an int, so
// that a wild centroid cannot overflow the conversion.
int ClampCorner(double v, int limit) {
    if (!(v > 0)) return 0;  // also NaN
    if (v > limit) return limit;
    return int(v);
}

void PeakCornerBitmap(const Frame& f, int N, int& x0, int& y0) {
    GreenPeak peak;
    for (int y = 0; y < f.height; ++y) {
        const std::uint8_t* row = f.bgr.data() + std::size_t(y) * std::size_t(f.width) * 3;
        peak.offerRow(f.width, y, [row](int x) { return row[std::size_t(x) * 3 + 1]; });
    }
    CornerAtGreenPeak(peak, f.width, f.height, N, x0, y0);
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

void TakeWindow(const Frame& frame, WindowMode mode, int N, IntPlane& window) {
    int x0 = 0, y0 = 0;
    WindowCorner(frame, N, mode, x0, y0);
    CopyWindow(frame, x0, y0, N, window);
}

}  // namespace framesifter
