#include "natural_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace framesifter;

TEST(NaturalCompare, OrdersPairsAsAPersonReadsThem) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"frame_2.bmp", "frame_10.bmp", -1},
        {"frame_10.bmp", "frame_9.bmp", 1},
        {"a2b10", "a2b9", 1},                 // later runs count as numbers too
        {"Frame_3.bmp", "frame_20.bmp", -1},  // case does not outweigh the number
        {"apple", "Banana", -1},
        {"x007", "x8", -1},  // leading zeros do not lengthen a number
        {"x007", "x7", -1},  // equal numbers: the bytes decide, never 0
        {"A.bmp", "a.bmp", -1},
        {"a.bmp", "a.bmp", 0},
        {"frame", "frame_1", -1},                                     // a prefix comes first
        {"99999999999999999999999", "100000000000000000000000", -1},  // past 64 bits
        {"10", "9a", 1},
        {"", "a", -1},
        {"clip.ser #9", "clip.ser #10", -1},  // a video's frames as the list names them
    };
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const Case& c : cases) {
        EXPECT_EQ(sign(NaturalCompare(c.a, c.b)), c.sign) << c.a << " vs " << c.b;
        EXPECT_EQ(sign(NaturalCompare(c.b, c.a)), -c.sign) << c.b << " vs " << c.a;
    }
}

TEST(NaturalLess, SortsACaptureInFrameOrder) {
    std::vector<std::string> names = {"cap_10.fit",   "CAP_1.fit",  "cap_2.fit",
                                      "cap_0100.fit", "cap_11.fit", "cap_9.fit"};
    std::sort(names.begin(), names.end(), NaturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"CAP_1.fit", "cap_2.fit", "cap_9.fit", "cap_10.fit",
                                               "cap_11.fit", "cap_0100.fit"}));
}
