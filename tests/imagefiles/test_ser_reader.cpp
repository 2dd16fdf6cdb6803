#include "ser_reader.h"
#include "ser_test_files.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

using namespace framesifter;
using namespace ser_test_files;

namespace {

std::uint16_t Pattern(int frame, int x, int y, int plane) {
    return std::uint16_t(frame * 7919 + x * 257 + y * 31 + plane * 1000 + 3);
}

bool Parse(const std::vector<std::uint8_t>& bytes, SerHeader& header, std::string& error) {
    return ParseSerHeader(bytes.data(), std::min<std::size_t>(bytes.size(), kSerHeaderBytes),
                          bytes.size(), header, error);
}

// The analysis samples of one whole frame, row after row.
std::vector<std::int32_t> FrameSamples(const std::vector<std::uint8_t>& bytes,
                                       const SerHeader& header, int index) {
    const ByteSource source(bytes.data(), bytes.size());
    std::vector<std::uint8_t> scratch;
    std::string error;
    const std::uint8_t* rows = ViewSerRows(source, header, index, 0, header.height, scratch, error);
    EXPECT_NE(rows, nullptr) << error;
    std::vector<std::int32_t> out(std::size_t(header.width) * header.height);
    if (!rows) return out;
    for (int y = 0; y < header.height; ++y)
        SerRowSamples(rows + std::size_t(y) * header.rowBytes(), header, 0, header.width,
                      out.data() + std::size_t(y) * header.width);
    return out;
}

}  // namespace

TEST(SerHeader, FieldsAndTheSamplesOfEachKindAndByteOrder) {
    struct Case {
        int colour, flag, depth;
        int planes, bytes;
        bool bigEndian;
        int samplePlane;  // which stored sample the analysis takes
    };
    const Case cases[] = {
        {0, 0, 8, 1, 1, false, 0},    {0, 0, 16, 1, 2, false, 0},  {0, 1, 16, 1, 2, true, 0},
        {0, 0, 12, 1, 2, false, 0},   {0, 1, 9, 1, 2, true, 0},    {8, 0, 8, 1, 1, false, 0},
        {11, 0, 16, 1, 2, false, 0},  {16, 1, 14, 1, 2, true, 0},  {19, 0, 1, 1, 1, false, 0},
        {100, 0, 8, 3, 1, false, 1},  {101, 0, 8, 3, 1, false, 1}, {100, 1, 16, 3, 2, true, 1},
        {101, 0, 10, 3, 2, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("colour " + std::to_string(c.colour) + " flag " + std::to_string(c.flag) +
                     " depth " + std::to_string(c.depth));
        SerLayout layout;
        layout.colour = c.colour;
        layout.flag = c.flag;
        layout.depth = c.depth;
        layout.width = 5;
        layout.height = 3;
        layout.count = 3;
        layout.trailer = true;
        layout.dateTime = 638000000000000000;
        layout.dateTimeUtc = -2;
        const auto mask = [&](int f, int x, int y, int p) {
            return std::uint16_t(Pattern(f, x, y, p) & ((1u << c.depth) - 1));
        };
        const std::vector<std::uint8_t> bytes = SerBytes(layout, mask);
        SerHeader h;
        std::string error;
        ASSERT_TRUE(Parse(bytes, h, error)) << error;
        EXPECT_EQ(int(h.colour), c.colour);
        EXPECT_EQ(h.width, 5);
        EXPECT_EQ(h.height, 3);
        EXPECT_EQ(h.depth, c.depth);
        EXPECT_EQ(h.frameCount, 3);
        EXPECT_EQ(h.planes, c.planes);
        EXPECT_EQ(h.bytesPerSample, c.bytes);
        EXPECT_EQ(h.bigEndianSamples, c.bigEndian);
        EXPECT_EQ(h.observer, "Observer");
        EXPECT_EQ(h.instrument, "Camera");
        EXPECT_EQ(h.telescope, "C11");
        EXPECT_EQ(h.dateTime, 638000000000000000);
        EXPECT_EQ(h.dateTimeUtc, -2);
        EXPECT_TRUE(h.hasTrailer);
        EXPECT_EQ(SerFrameOffset(h, 2), 178u + 2u * 15u * std::uint64_t(c.planes * c.bytes));
        for (int f = 0; f < 3; ++f) {
            const std::vector<std::int32_t> got = FrameSamples(bytes, h, f);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x)
                    ASSERT_EQ(got[std::size_t(y) * 5 + x], mask(f, x, y, c.samplePlane))
                        << "frame " << f << " x " << x << " y " << y;
        }
    }
}

TEST(SerHeader, TextsEndAtTheirFirstNulOrTrailingBlanks) {
    SerLayout layout;
    layout.observer = "Jane Doe   ";
    layout.instrument = std::string("ASI\0junk", 8);
    layout.telescope = std::string(40, 'T');  // the whole field, no NUL
    SerHeader h;
    std::string error;
    ASSERT_TRUE(Parse(SerBytes(layout, Pattern), h, error)) << error;
    EXPECT_EQ(h.observer, "Jane Doe");
    EXPECT_EQ(h.instrument, "ASI");
    EXPECT_EQ(h.telescope, std::string(40, 'T'));
}

TEST(SerHeader, RefusesWithAReason) {
    SerLayout good;
    const std::vector<std::uint8_t> valid = SerBytes(good, Pattern);  // 2 frames of 12 bytes
    struct Case {
        const char* what;
        std::function<std::vector<std::uint8_t>()> bytes;
        const char* reason;
    };
    auto with = [&](std::function<void(SerLayout&)> change) {
        return [change, good] {
            SerLayout s = good;
            change(s);
            return SerBytes(s, Pattern);
        };
    };
    auto header = [&](std::function<void(SerLayout&)> change) {
        return [change, good] {
            SerLayout s = good;
            change(s);
            std::vector<std::uint8_t> bytes = SerHeaderBytes(s);
            bytes.resize(bytes.size() + 64);
            return bytes;
        };
    };
    const Case cases[] = {
        {"signature",
         [&] {
             auto b = valid;
             b[0] = 'X';
             return b;
         },
         "not a SER video (no LUCAM-RECORDER signature)"},
        {"empty file", [] { return std::vector<std::uint8_t>(); }, "not a SER video"},
        {"short header",
         [&] { return std::vector<std::uint8_t>(valid.begin(), valid.begin() + 100); },
         "truncated: 100 of 178 header bytes present"},
        {"colour 7", header([](SerLayout& s) { s.colour = 7; }), "unknown colour ID 7"},
        {"colour 12", header([](SerLayout& s) { s.colour = 12; }), "unknown colour ID 12"},
        {"colour 102", header([](SerLayout& s) { s.colour = 102; }), "unknown colour ID 102"},
        {"colour -1", header([](SerLayout& s) { s.colour = -1; }), "unknown colour ID -1"},
        {"depth 0", header([](SerLayout& s) { s.depth = 0; }), "pixel depth 0 (1 to 16 are read)"},
        {"depth 17", header([](SerLayout& s) { s.depth = 17; }),
         "pixel depth 17 (1 to 16 are read)"},
        {"width 0", header([](SerLayout& s) { s.width = 0; }), "frame size 0 x 3"},
        {"height -5", header([](SerLayout& s) { s.height = -5; }), "frame size 4 x -5"},
        {"too wide", header([](SerLayout& s) { s.width = 16001; }),
         "image too large: 16001 x 3 pixels declared (at most 16000 x 16000)"},
        {"too high", header([](SerLayout& s) { s.height = 16001; }), "image too large: 4 x 16001"},
        {"no frames", header([](SerLayout& s) { s.count = 0; }), "no frames (frame count 0)"},
        {"negative count", header([](SerLayout& s) { s.count = -3; }),
         "no frames (frame count -3)"},
        {"count beyond the file",
         [&] {
             auto b = valid;
             b[38] = 3;
             return b;
         },
         "truncated: 3 frames announced, 2 present"},
        {"last frame cut short",
         [&] { return std::vector<std::uint8_t>(valid.begin(), valid.end() - 1); },
         "truncated: 2 frames announced, 1 present and part of one more"},
        {"frames of a huge count", header([](SerLayout& s) {
             s.count = 0x7fffffff;
             s.width = s.height = 16000;
             s.colour = 100;
             s.depth = 16;
         }),
         "truncated: 2147483647 frames announced, 0 present"},
        {"header only", with([](SerLayout& s) { s.count = 0; }), "no frames"},
    };
    for (const Case& c : cases) {
        SerHeader h;
        std::string error;
        EXPECT_FALSE(Parse(c.bytes(), h, error)) << c.what;
        EXPECT_EQ(error.rfind(c.reason, 0), 0u) << c.what << ": " << error;
    }
}

TEST(SerHeader, ATrailerIsReadOnlyWhenComplete) {
    SerLayout layout;
    layout.count = 3;
    layout.trailer = true;
    const std::vector<std::uint8_t> full = SerBytes(layout, Pattern);
    const struct {
        const char* what;
        long extra;  // bytes added to (or, negative, cut from) the complete trailer
        bool present, ignored;
    } cases[] = {
        {"complete", 0, true, false},        {"complete with bytes after it", 5, true, false},
        {"one byte short", -1, false, true}, {"one time of three", -16, false, true},
        {"none", -24, false, false},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes = full;
        bytes.resize(std::size_t(long(full.size()) + c.extra), 0xee);
        SerHeader h;
        std::string error;
        ASSERT_TRUE(Parse(bytes, h, error)) << c.what << ": " << error;
        EXPECT_EQ(h.hasTrailer, c.present) << c.what;
        EXPECT_EQ(h.trailerIgnored, c.ignored) << c.what;
        const ByteSource source(bytes.data(), bytes.size());
        std::vector<std::int64_t> times;
        ASSERT_TRUE(ReadSerTimestamps(source, h, times, error)) << error;
        const std::vector<std::int64_t> expected =
            c.present ? std::vector<std::int64_t>{1000, 1001, 1002} : std::vector<std::int64_t>{};
        EXPECT_EQ(times, expected) << c.what;
    }
}

TEST(SerHeader, RowsOutsideTheFrameAreRefused) {
    SerLayout layout;
    const std::vector<std::uint8_t> bytes = SerBytes(layout, Pattern);
    SerHeader h;
    std::string error;
    ASSERT_TRUE(Parse(bytes, h, error));
    const ByteSource source(bytes.data(), bytes.size());
    std::vector<std::uint8_t> scratch;
    const struct {
        int index, y0, count;
    } cases[] = {{-1, 0, 1}, {2, 0, 1}, {0, -1, 1}, {0, 2, 2}, {0, 0, 0}, {1, 0, 4}};
    for (const auto& c : cases)
        EXPECT_EQ(ViewSerRows(source, h, c.index, c.y0, c.count, scratch, error), nullptr)
            << c.index << " " << c.y0 << " " << c.count;
    EXPECT_NE(ViewSerRows(source, h, 1, 1, 2, scratch, error), nullptr) << error;
}

TEST(SerWriter, ChosenFramesByteForByteWithTheirTimes) {
    TempDir dir;
    for (bool trailer : {true, false}) {
        SCOPED_TRACE(trailer ? "with trailer" : "without trailer");
        SerLayout layout;
        layout.colour = 100;
        layout.depth = 16;
        layout.count = 4;
        layout.trailer = trailer;
        const std::string from =
            dir.write(trailer ? "in-t.ser" : "in.ser", SerBytes(layout, Pattern));
        ByteSource source;
        SerHeader h;
        std::string error;
        ASSERT_TRUE(source.open(from, error) && ReadSerHeader(source, h, error)) << error;
        const std::string to = dir.file(trailer ? "out-t.ser" : "out.ser");
        ASSERT_TRUE(WriteSerSubset(source, h, {3, 1}, to, error)) << error;

        SerLayout expectedLayout = layout;
        expectedLayout.count = 2;
        std::vector<std::uint8_t> expected = SerBytes(
            expectedLayout, [](int f, int x, int y, int p) { return Pattern(f ? 1 : 3, x, y, p); });
        if (trailer) {
            expected.resize(expected.size() - 16);
            PutLe(expected, 1003, 8);
            PutLe(expected, 1001, 8);
        }
        EXPECT_EQ(ReadAll(to), expected);

        EXPECT_FALSE(WriteSerSubset(source, h, {0}, to, error));
        EXPECT_EQ(error, "already exists");
        EXPECT_FALSE(WriteSerSubset(source, h, {4}, dir.file("x.ser"), error));
        EXPECT_EQ(error, "frame 5 of 4 does not exist");
    }
    EXPECT_EQ(FolderNames(dir.path()),
              (std::vector<std::string>{"in-t.ser", "in.ser", "out-t.ser", "out.ser"}));
}

TEST(SerWriter, ASubsetIsToldFromOtherVideos) {
    TempDir dir;
    SerLayout layout;
    layout.depth = 16;
    layout.count = 4;
    layout.trailer = true;
    const std::string from = dir.write("in.ser", SerBytes(layout, Pattern));
    ByteSource video;
    SerHeader h;
    std::string error;
    ASSERT_TRUE(video.open(from, error) && ReadSerHeader(video, h, error)) << error;
    const struct {
        const char* name;
        std::vector<int> written;  // indices from 0, as WriteSerSubset takes them
        std::vector<int> listed;   // frame numbers from 1 given to the check
        std::function<void(const std::string&)> alter;
        const char* error;  // null: a subset
    } cases[] = {
        {"its listed frames", {3, 1}, {4, 2}, nullptr, nullptr},
        {"frames in order, unlisted", {0, 2}, {}, nullptr, nullptr},
        {"frames out of order, unlisted", {2, 0}, {}, nullptr, "its frame 2 is not one of"},
        {"other frames than listed", {0, 2}, {1, 2}, nullptr, "its frame 2 is not frame 2"},
        {"one byte more",
         {0},
         {},
         [](const std::string& p) { std::ofstream(p, std::ios::app) << 'x'; },
         "more than frames"},
        {"another observer",
         {0},
         {},
         [](const std::string& p) {
             std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(42);
             f << 'Z';
         },
         "header is not its video's"},
        {"a frame changed",
         {1},
         {2},
         [](const std::string& p) {
             std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(178 + 5);
             f << 'Z';
         },
         "its frame 1 is not frame 2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string to = dir.file(std::string(c.name) + ".ser");
        ASSERT_TRUE(WriteSerSubset(video, h, c.written, to, error)) << error;
        if (c.alter) c.alter(to);
        ByteSource subset;
        ASSERT_TRUE(subset.open(to, error)) << error;
        error.clear();
        EXPECT_EQ(IsSerSubsetOf(subset, video, c.listed, error), c.error == nullptr) << error;
        if (c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
    }
}
