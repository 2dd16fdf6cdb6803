#include "planes.h"

#include <gtest/gtest.h>

using namespace framesifter;

TEST(Planes, FirstIndexIsTheColumnAndLinesAreContiguous) {
    IntPlane plane;
    std::string error;
    ASSERT_TRUE(AllocIntPlane(3, 5, plane, error));
    ASSERT_EQ(plane.first(), 3);
    ASSERT_EQ(plane.second(), 5);
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 5; ++y) EXPECT_EQ(plane[x][y], 0) << x << "," << y;
    plane[2][4] = 7;
    plane[1][0] = 9;
    EXPECT_EQ(plane.data()[2 * 5 + 4], 7);
    EXPECT_EQ(plane.data()[1 * 5 + 0], 9);

    RealPlane real;
    ASSERT_TRUE(AllocRealPlane(4, 2, real, error));
    real[3][1] = 1.5;
    EXPECT_EQ(real.data()[3 * 2 + 1], 1.5);
    EXPECT_EQ(real[0][0], 0.0);

    FreeIntPlane(3, 5, plane);
    EXPECT_TRUE(plane.empty());
}

TEST(Planes, FailedAllocationIsReportedAndLeavesAnEmptyPlane) {
    struct Case {
        int first, second;
        const char* reason;
    };
    const Case cases[] = {
        {0, 5, "a 0 x 5 image has no pixels"},
        {5, 0, "a 5 x 0 image has no pixels"},
        {-1, 5, "a -1 x 5 image has no pixels"},
        {1 << 28, 1 << 28, "not enough memory for a 268435456 x 268435456 image"},
        {1 << 30, 1 << 30, "not enough memory for a 1073741824 x 1073741824 image"},
    };
    for (const Case& c : cases) {
        IntPlane plane;
        std::string error;
        ASSERT_TRUE(AllocIntPlane(2, 2, plane, error));
        EXPECT_FALSE(AllocIntPlane(c.first, c.second, plane, error));
        EXPECT_EQ(error, c.reason);
        EXPECT_TRUE(plane.empty());
        RealPlane real;
        error.clear();
        EXPECT_FALSE(AllocRealPlane(c.first, c.second, real, error));
        EXPECT_EQ(error, c.reason);
        EXPECT_TRUE(real.empty());
    }
}
