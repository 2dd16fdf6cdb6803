#include "window_copy.h"

#include <gtest/gtest.h>

#include <vector>

using namespace framesifter;

TEST(SamplesToWindow, EqualsTheStraightCopyForAnySizeStepAndRowOrder) {
    const struct {
        int n;
        std::size_t step;
        bool bottomUp;
    } cases[] = {{256, 3, false}, {256, 1, true}, {256, 1, false}, {33, 4, false},
                 {47, 1, true},   {15, 3, true},  {1, 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.n << " step " << c.step << " " << c.bottomUp);
        const std::size_t rowBytes = std::size_t(c.n) * c.step + 5;  // padded rows
        std::vector<std::uint8_t> image(rowBytes * std::size_t(c.n));
        for (std::size_t k = 0; k < image.size(); ++k) image[k] = std::uint8_t(k * 131 + k / 7);
        const std::uint8_t* first =
            c.bottomUp ? image.data() + rowBytes * std::size_t(c.n - 1) : image.data();
        const std::ptrdiff_t stride =
            c.bottomUp ? -std::ptrdiff_t(rowBytes) : std::ptrdiff_t(rowBytes);
        IntPlane window;
        std::string error;
        ASSERT_TRUE(AllocIntPlane(c.n, c.n, window, error));
        SamplesToWindow(first, stride, c.step, c.n, window);
        for (int i = 0; i < c.n; ++i)
            for (int j = 0; j < c.n; ++j)
                ASSERT_EQ(window[i][j],
                          first[std::ptrdiff_t(j) * stride + std::ptrdiff_t(i * c.step)])
                    << i << "," << j;
    }
}

TEST(WordSamplesToWindow, EqualsTheStraightCopyForAnySizeStepAndByteOrder) {
    const struct {
        int n;
        std::size_t step;
        bool bigEndian;
    } cases[] = {{256, 2, false}, {256, 6, true}, {256, 2, true},
                 {37, 6, false},  {37, 2, false}, {5, 2, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.n << " step " << c.step << " " << c.bigEndian);
        const std::size_t rowBytes = std::size_t(c.n) * c.step + 3;
        std::vector<std::uint8_t> image(rowBytes * std::size_t(c.n));
        for (std::size_t k = 0; k < image.size(); ++k) image[k] = std::uint8_t(k * 37 + k / 11);
        IntPlane window;
        std::string error;
        ASSERT_TRUE(AllocIntPlane(c.n, c.n, window, error));
        WordSamplesToWindow(image.data(), std::ptrdiff_t(rowBytes), c.step, c.bigEndian, c.n,
                            window);
        for (int i = 0; i < c.n; ++i)
            for (int j = 0; j < c.n; ++j) {
                const std::uint8_t* p = image.data() + std::size_t(j) * rowBytes + i * c.step;
                ASSERT_EQ(window[i][j], c.bigEndian ? p[0] << 8 | p[1] : p[1] << 8 | p[0])
                    << i << "," << j;
            }
    }
}
