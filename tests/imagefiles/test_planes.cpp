#include "planes.h"

#include <gtest/gtest.h>

using namespace framesifter;

TEST(Planes, FirstIndexIsTheColumnAndLinesAreContiguous) {
    IntPlane plane;
    ASSERT_TRUE(AllocIntPlane(3, 5, plane));
    ASSERT_EQ(plane.first(), 3);
    ASSERT_EQ(plane.second(), 5);
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 5; ++y) EXPECT_EQ(plane[x][y], 0) << x << "," << y;
    plane[2][4] = 7;
    plane[1][0] = 9;
    EXPECT_EQ(plane.data()[2 * 5 + 4], 7);
    EXPECT_EQ(plane.data()[1 * 5 + 0], 9);

    RealPlane real;
    ASSERT_TRUE(AllocRealPlane(4, 2, real));
    real[3][1] = 1.5;
    EXPECT_EQ(real.data()[3 * 2 + 1], 1.5);
    EXPECT_EQ(real[0][0], 0.0);

    FreeIntPlane(3, 5, plane);
    EXPECT_TRUE(plane.empty());
}

TEST(Planes, FailedAllocationIsReportedAndLeavesAnEmptyPlane) {
    struct Case {
        int first, second;
    };
    const Case cases[] = {{0, 5}, {5, 0}, {-1, 5}, {1 << 28, 1 << 28}, {1 << 30, 1 << 30}};
    for (const Case& c : cases) {
        IntPlane plane;
        ASSERT_TRUE(AllocIntPlane(2, 2, plane));
        EXPECT_FALSE(AllocIntPlane(c.first, c.second, plane)) << c.first << " x " << c.second;
        EXPECT_TRUE(plane.empty());
        RealPlane real;
        EXPECT_FALSE(AllocRealPlane(c.first, c.second, real)) << c.first << " x " << c.second;
        EXPECT_TRUE(real.empty());
    }
}
