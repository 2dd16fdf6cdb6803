#include "printable_name.h"
#include "same_entry.h"
#include "temp_dir.h"
#include "frame_refs.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace framesifter;

namespace fs = std::filesystem;

TEST(FindRepeatedEntry, OneEntryByAnyPathIsRepeatedTwoLinksAreNot) {
    TempDir dir;
    const std::string d = dir.path().string();
    dir.write("a.fit", std::string("frame"));
    fs::create_directory(dir.path() / "sub");
    fs::create_hard_link(dir.path() / "a.fit", dir.path() / "hard.fit");
    fs::create_symlink(dir.path() / "a.fit", dir.path() / "soft.fit");
    fs::create_directory_symlink(dir.path(), dir.path() / "sub" / "up");
    struct Case {
        std::vector<std::string> paths;
        int first, second;
        bool wholeVideo = false;
    };
    const Case cases[] = {
        {{"a.fit", "./a.fit"}, 0, 1},
        {{"a.fit", "b.fit", d + "/a.fit"}, 0, 2},
        {{d + "/sub/../a.fit", "b.fit", "a.fit"}, 0, 2},
        {{d + "//a.fit", d + "/sub/up/a.fit"}, 0, 1},
        {{"missing/x.fit", "./missing/x.fit"}, 0, 1},
        {{"a.fit", "hard.fit", "soft.fit", "sub/a.fit"}, -1, -1},
        {{"a.fit", "A.fit", "b.fit"}, -1, -1},
        // A video's frames: each by its own entry, and all of them by the video's.
        {{"v.ser", "a.fit", "./v.ser#2"}, 0, 2, true},
        {{"v.ser#3", "v.ser#2", d + "/v.ser"}, 0, 2, true},
        {{"v.ser#2", "sub/up/v.ser#2"}, 0, 1},
        {{"v.ser#2", "v.ser#3", "w.ser#2", "v.ser#20", "sub/v.ser"}, -1, -1},
    };
    const fs::path old = fs::current_path();
    fs::current_path(dir.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.paths[0] + " ... " + c.paths.back());
        const RepeatedEntry r = FindRepeatedEntry(FrameRefs(c.paths));
        EXPECT_EQ(r.first, c.first);
        EXPECT_EQ(r.second, c.second);
        EXPECT_EQ(r.wholeVideo, c.wholeVideo);
    }
    fs::current_path(old);
}

TEST(PrintableName, ControlCharactersAreEscapedTextIsKept) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"night 3/frame_0001.fit", "night 3/frame_0001.fit"},
        {"a\nb\r\t.fit", "a\\nb\\r\\t.fit"},
        {"x\x1b[31mred", "x\\x1b[31mred"},
        {std::string("nul\0\x7f", 5), "nul\\x00\\x7f"},
        {"csi\xc2\x9b"
         "2J",
         "csi\\xc2\\x9b2J"},
        {"\xe6\x9c\x88\xc2\xa0\xc3\xa9.bmp", "\xe6\x9c\x88\xc2\xa0\xc3\xa9.bmp"},  // UTF-8 text
        {"back\\slash 'q' \"dq\"", "back\\slash 'q' \"dq\""},
    };
    for (const auto& c : cases) EXPECT_EQ(PrintableName(c.in), c.out) << c.out;
}
