// Where the frame axis of a scores plot puts its labels.

#include "plot_ticks.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Whole frames from 1 to the last, evenly apart by 1, 2 or 5 times a power of ten, at most
// six of them, and never a label short of the step from the last frame.
TEST(FrameTicks, WholeFramesEvenlyApart) {
    const struct {
        int frames;
        std::vector<int> ticks;  // empty: only the rules below are checked
    } cases[] = {
        {0, {}},
        {1, {1}},
        {6, {1, 2, 3, 4, 5, 6}},
        {7, {2, 4, 6}},
        {12, {2, 4, 6, 8, 10, 12}},
        {300, {50, 100, 150, 200, 250, 300}},
        {20000, {5000, 10000, 15000, 20000}},
        {4000, {1000, 2000, 3000, 4000}},
        {99999, {}},
        {2147483647, {}},
    };
    for (const auto& c : cases) {
        const std::vector<int> ticks = FrameTicks(c.frames);
        if (!c.ticks.empty() || c.frames == 0) {
            EXPECT_EQ(ticks, c.ticks) << c.frames;
        }
        if (c.frames == 0) continue;
        ASSERT_FALSE(ticks.empty()) << c.frames;
        EXPECT_LE(ticks.size(), 6u) << c.frames;
        const int step = FrameTickStep(c.frames);
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
        EXPECT_TRUE(mantissa == 1 || mantissa == 2 || mantissa == 5) << step;
        EXPECT_EQ(ticks.front(), step == 1 ? 1 : step) << c.frames;
        for (std::size_t k = 1; k < ticks.size(); ++k)
            EXPECT_EQ(ticks[k] - ticks[k - 1], step) << c.frames;
        EXPECT_GT(ticks.back(), c.frames - step) << c.frames;
        EXPECT_LE(ticks.back(), c.frames) << c.frames;
    }
}

}  // namespace
