#include "fits_reader.h"
#include "fits_writer.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace framesifter;

TEST(FitsWriter, RoundTripThroughTheReader) {
    struct Case {
        int width, height;
    };
    const Case cases[] = {{1, 1}, {7, 3}, {640, 480}, {480, 640}, {640, 480}};
    TempDir dir;
    IntPlane plane;  // shared: a plane of another size must be replaced, one that fits reused
    int index = 0;
    for (const Case& c : cases) {
        std::vector<std::uint16_t> values(std::size_t(c.width) * c.height);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = std::uint16_t(i * 7919u + std::size_t(index) * 13);
        values[0] = 65535;
        if (values.size() > 2) values[1] = 0, values[2] = 32768;

        const std::string path = dir.file(std::to_string(index++) + ".fits");
        std::string error;
        ASSERT_TRUE(WriteFits16(path, values.data(), c.width, c.height, error)) << error;

        const auto bytes = ReadAll(path);
        EXPECT_EQ(bytes.size() % 2880, 0u);
        FitsHeader header;
        ASSERT_TRUE(ParseFitsHeader(bytes.data(), bytes.size(), header, error)) << error;
        EXPECT_EQ(header.bzero, 32768);
        EXPECT_EQ(header.cardCount, 36);

        int w = 0, h = 0;
        ASSERT_TRUE(ReadFitsFrame(path, plane, w, h, error)) << error;
        ASSERT_EQ(plane.first(), c.width);
        ASSERT_EQ(plane.second(), c.height);
        ASSERT_EQ(w, c.width);
        ASSERT_EQ(h, c.height);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(plane[x][y], values[std::size_t(y) * w + x]) << x << "," << y;
    }
}

TEST(FitsWriter, NeverReplacesAFile) {
    TempDir dir;
    const std::string path = dir.write("frame.fits", std::string("precious"));
    const std::uint16_t values[4] = {1, 2, 3, 4};
    std::string error;
    EXPECT_FALSE(WriteFits16(path, values, 2, 2, error));
    EXPECT_EQ(error, "already exists");
    EXPECT_EQ(ReadAll(path), std::vector<std::uint8_t>({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
    EXPECT_EQ(FolderNames(dir.path()), std::vector<std::string>{"frame.fits"});
}

TEST(FitsWriter, FailuresLeaveNothingBehind) {
    TempDir dir;
    const std::uint16_t values[4] = {1, 2, 3, 4};
    struct Case {
        std::string path;
        int width, height;
        const char* reason;
    };
    const Case cases[] = {
        {dir.file("no-such-folder/a.fits"), 2, 2, "cannot create a file in its folder"},
        {dir.file("zero.fits"), 0, 2, "image size 0 x 2 cannot be written"},
        {dir.file("huge.fits"), 16001, 1, "image size 16001 x 1 cannot be written"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(WriteFits16(c.path, values, c.width, c.height, error)) << c.path;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    EXPECT_TRUE(FolderNames(dir.path()).empty());
}
