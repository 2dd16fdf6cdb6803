#pragma once
// The peak-mode rule for bitmaps: the brightest green value, the first one in the order of
// rows from the top and of pixels from the left, whatever order the rows arrive in.

namespace framesifter {

struct GreenPeak {
    int value = -1;
    int x = 0;
    int y = 0;

    void offer(int v, int px, int py) {
        if (v > value || (v == value && (py < y || (py == y && px < x)))) {
            value = v;
            x = px;
            y = py;
        }
    }
    // Row y's green values greenAt(0..width-1): the row's maximum first (a loop the compiler
    // vectorises), its position only when it can win.
    template <typename GreenAt>
    void offerRow(int width, int row, GreenAt greenAt) {
        int best = 0;
        for (int i = 0; i < width; ++i) best = greenAt(i) > best ? int(greenAt(i)) : best;
        if (best < value || (best == value && row > y)) return;
        int i = 0;
        while (int(greenAt(i)) != best) ++i;
        offer(best, i, row);
    }
};

// The N x N window centred on the peak, moved inside a width x height frame.
inline void CornerAtGreenPeak(const GreenPeak& peak, int width, int height, int N, int& x0,
                              int& y0) {
    auto clamp = [](int v, int limit) { return v < 0 ? 0 : v > limit ? limit : v; };
    x0 = clamp(peak.x - N / 2, width - N);
    y0 = clamp(peak.y - N / 2, height - N);
}

}  // namespace framesifter
