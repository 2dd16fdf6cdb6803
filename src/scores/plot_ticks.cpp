#include "plot_ticks.h"

int FrameTickStep(int frames) {
    constexpr int kMostTicks = 6;
    for (long long power = 1;; power *= 10)
        for (long long factor : {1, 2, 5})
            if (factor * power * kMostTicks >= frames) return int(factor * power);
}

std::vector<int> FrameTicks(int frames) {
    std::vector<int> ticks;
    if (frames <= 0) return ticks;
    const int step = FrameTickStep(frames);
    for (long long x = step; x <= frames; x += step) ticks.push_back(int(x));
    return ticks;
}
