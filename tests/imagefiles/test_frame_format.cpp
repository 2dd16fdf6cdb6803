#include "frame_format.h"

#include <gtest/gtest.h>

using namespace framesifter;

TEST(FileExtension, FromTheLastDotOfTheLastComponent) {
    const struct {
        const char* path;
        const char* extension;
    } cases[] = {
        {"/frames/m42_0001.fits", ".fits"},
        {"/frames/m42.0001.FIT", ".FIT"},
        {"/frames/archive.tar.gz", ".gz"},
        {"/frames.2024/frame0001", ""},
        {"frame", ""},
        {"frame.", "."},
        {"/frames/.hidden", ".hidden"},
        {"relative/dir.d/x.Jpeg", ".Jpeg"},
    };
    for (const auto& c : cases) EXPECT_EQ(FileExtension(c.path), c.extension) << c.path;
}

TEST(FrameFormat, ChosenByTheLastExtensionInAnyCase) {
    struct Case {
        const char* path;
        FrameFormat format;
    };
    const Case cases[] = {
        {"a.bmp", FrameFormat::Bmp},
        {"A.BMP", FrameFormat::Bmp},
        {"dir/x.Jpg", FrameFormat::Jpeg},
        {"x.JPEG", FrameFormat::Jpeg},
        {"x.fit", FrameFormat::Fits},
        {"x.FTS", FrameFormat::Fits},
        {"x.Fits", FrameFormat::Fits},
        {".fit", FrameFormat::Fits},
        {"x.bmp.txt", FrameFormat::Unknown},
        {"x.png", FrameFormat::Unknown},
        {"x", FrameFormat::Unknown},
        {"dir.bmp/x", FrameFormat::Unknown},
        {"x.jpe", FrameFormat::Unknown},
        {"x.fitsx", FrameFormat::Unknown},
        {"x.b\xC3\x9Cmp", FrameFormat::Unknown},
    };
    for (const Case& c : cases) EXPECT_EQ(FrameFormatOf(c.path), c.format) << c.path;
}
