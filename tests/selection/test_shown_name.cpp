#include "shown_name.h"

#include <gtest/gtest.h>

using namespace framesifter;

namespace {

QString Q(const char* s) { return QString::fromUtf8(s); }

TEST(FrameDisplayName, TheFileNameAndAVideosFrameNumberApart) {
    const struct {
        FrameRef frame;
        const char* shown;
    } cases[] = {
        {{"/data/run/jupiter_20k.ser", 12}, "jupiter_20k.ser #12"},
        {{"relative/moon.ser", 1}, "moon.ser #1"},
        {{"/data/f0001.fit", 0}, "f0001.fit"},
        {{"plain.bmp", 0}, "plain.bmp"},
        {{"/data/a#3.fit", 0}, "a#3.fit"},
        {{"/data/日本.ser", 2048}, "日本.ser #2048"},
    };
    for (const auto& c : cases) EXPECT_EQ(FrameDisplayName(c.frame), Q(c.shown)) << c.shown;
}

// One unit of width per character: the kept parts can be counted.
TEST(ElideFrameName, CutsTheMiddleAndKeepsTheFrameNumber) {
    const auto length = [](const QString& s) { return int(s.size()); };
    const struct {
        const char* name;
        int width;
        const char* shown;
    } cases[] = {
        {"jupiter_20k.ser #1234", 21, "jupiter_20k.ser #1234"},
        {"jupiter_20k.ser #1234", 40, "jupiter_20k.ser #1234"},
        {"jupiter_20k.ser #1234", 20, "jupiter…0k.ser #1234"},
        {"jupiter_20k.ser #1234", 12, "jup…er #1234"},
        {"jupiter_20k.ser #1234", 7, "… #1234"},
        {"jupiter_20k.ser #1234", 6, "#1234"},
        {"jupiter_20k.ser #1234", 4, ""},
        {"f0001_long_capture_name.fit", 11, "f0001…e.fit"},
        {"f0001_long_capture_name.fit", 1, "…"},
        {"f0001_long_capture_name.fit", 0, ""},
        {"a name #x.fit", 8, "a na…fit"},
    };
    for (const auto& c : cases) {
        const QString shown = ElideFrameName(Q(c.name), c.width, length);
        EXPECT_EQ(shown, Q(c.shown)) << c.name << " in " << c.width;
        EXPECT_LE(shown.size(), c.width) << c.name;
    }
}

}  // namespace
