#include "fits_reader.h"
#include "fits_test_reader.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <unistd.h>

using namespace framesifter;
using namespace fits_test_reader;

namespace {

std::string Card(std::string text) {
    text.resize(80, ' ');
    return text;
}

// Fixed format: value right-justified to column 30.
std::string Value(const char* key, const std::string& value) {
    char buf[81];
    std::snprintf(buf, sizeof buf, "%-8s= %20s", key, value.c_str());
    return Card(buf);
}

// Free format: value from column 11, with a comment.
std::string LeftValue(const char* key, const std::string& value) {
    char buf[81];
    std::snprintf(buf, sizeof buf, "%-8s= %s / comment", key, value.c_str());
    return Card(buf);
}

std::vector<std::string> Standard(int width, int height) {
    return {Value("SIMPLE", "T"), Value("BITPIX", "16"), Value("NAXIS", "2"),
            Value("NAXIS1", std::to_string(width)), Value("NAXIS2", std::to_string(height))};
}

// Cards, END, blank padding to the block, then big-endian words.
std::vector<std::uint8_t> Fits(const std::vector<std::string>& cards,
                               const std::vector<std::uint16_t>& words, bool end = true) {
    std::string head;
    for (const std::string& c : cards) head += c;
    if (end) head += Card("END");
    head.resize((head.size() + 2879) / 2880 * 2880, ' ');
    std::vector<std::uint8_t> bytes(head.begin(), head.end());
    for (std::uint16_t w : words) {
        bytes.push_back(std::uint8_t(w >> 8));
        bytes.push_back(std::uint8_t(w & 0xFF));
    }
    return bytes;
}

std::vector<std::uint16_t> Ramp(std::size_t n) {
    std::vector<std::uint16_t> words(n);
    for (std::size_t i = 0; i < n; ++i) words[i] = std::uint16_t(i * 257 + 1);
    return words;
}

bool Parse(const std::vector<std::uint8_t>& bytes, FitsHeader& header, std::string& error) {
    return ParseFitsHeader(bytes.data(), bytes.size(), header, error);
}

}  // namespace

TEST(FitsReader, HeaderBlocksAndDataOffset) {
    // endIndex: 0-based position of the END card.
    struct Case {
        int endIndex;
        int cards;
    };
    const Case cases[] = {{9, 36}, {35, 36}, {36, 72}, {71, 72}, {72, 108}};
    for (const Case& c : cases) {
        std::vector<std::string> cards = Standard(4, 3);
        while (int(cards.size()) < c.endIndex - 1) cards.push_back(Card("COMMENT filler"));
        cards.push_back(Value("BZERO", "100"));  // the last card: in the END's block
        const std::vector<std::uint16_t> words = Ramp(12);
        const auto bytes = Fits(cards, words);

        FitsHeader h;
        std::string error;
        ASSERT_TRUE(Parse(bytes, h, error)) << c.endIndex << ": " << error;
        EXPECT_EQ(h.cardCount, c.cards) << c.endIndex;
        EXPECT_EQ(h.dataOffset, std::size_t(80 * c.cards)) << c.endIndex;
        EXPECT_EQ(h.bzero, 100) << c.endIndex;

        IntPlane plane;
        ASSERT_TRUE(AllocIntPlane(4, 3, plane, error));
        ASSERT_TRUE(DecodeFitsPixels(bytes.data(), bytes.size(), h, plane, error)) << error;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) EXPECT_EQ(plane[x][y], words[y * 4 + x]) << x << "," << y;
    }
}

TEST(FitsReader, CardValues) {
    struct Case {
        const char* name;
        std::vector<std::string> cards;
        int width, height, bzero;
    };
    auto with = [](std::vector<std::string> extra, int w = 4, int h = 2) {
        std::vector<std::string> cards = Standard(w, h);
        cards.insert(cards.end(), extra.begin(), extra.end());
        return cards;
    };
    const Case cases[] = {
        {"no BZERO", with({}), 4, 2, 0},
        {"BZERO integer", with({Value("BZERO", "32768")}), 4, 2, 32768},
        {"BZERO exponent", with({Value("BZERO", "3.276800000000E+04")}), 4, 2, 32768},
        {"BZERO D exponent", with({Value("BZERO", "3.2768D+04")}), 4, 2, 32768},
        {"BZERO left-justified", with({LeftValue("BZERO", "32768")}), 4, 2, 32768},
        {"BZERO half", with({Value("BZERO", "0.5")}), 4, 2, 0},
        {"BZERO truncated toward zero", with({Value("BZERO", "-1.9")}), 4, 2, -1},
        {"BZERO negative", with({Value("BZERO", "-32768")}), 4, 2, -32768},
        {"sizes left-justified",
         {Value("SIMPLE", "T"), Value("BITPIX", "16"), Value("NAXIS", "2"),
          LeftValue("NAXIS1", "640"), LeftValue("NAXIS2", "480")},
         640,
         480,
         0},
        {"five-digit width", with({}, 10240, 1), 10240, 1, 0},
        {"ENDTIME does not end the header",
         {Value("SIMPLE", "T"), Card("ENDTIME = '2026-12-07T01:02:03'"), Value("BITPIX", "16"),
          Value("NAXIS", "2"), Value("NAXIS1", "4"), Value("NAXIS2", "2"), Value("BZERO", "32768")},
         4,
         2,
         32768},
        {"third axis of length 1",
         {Value("SIMPLE", "T"), Value("BITPIX", "16"), Value("NAXIS", "3"), Value("NAXIS1", "4"),
          Value("NAXIS2", "2"), Value("NAXIS3", "1")},
         4,
         2,
         0},
        {"BSCALE 1", with({Value("BSCALE", "1.0E0")}), 4, 2, 0},
        {"string holding a slash", with({Card("OBJECT  = 'M42 / Orion'"), Value("BZERO", "7")}), 4,
         2, 7},
    };
    for (const Case& c : cases) {
        const auto bytes = Fits(c.cards, Ramp(std::size_t(c.width) * c.height));
        FitsHeader h;
        std::string error;
        ASSERT_TRUE(Parse(bytes, h, error)) << c.name << ": " << error;
        EXPECT_EQ(h.width, c.width) << c.name;
        EXPECT_EQ(h.height, c.height) << c.name;
        EXPECT_EQ(h.bzero, c.bzero) << c.name;
    }
}

TEST(FitsReader, RefusesWithAReason) {
    auto with = [](std::vector<std::string> cards, std::size_t words = 8) {
        return Fits(cards, Ramp(words));
    };
    auto standardPlus = [&](std::string extra) {
        std::vector<std::string> cards = Standard(4, 2);
        cards.push_back(extra);
        return with(cards);
    };
    auto replaced = [&](int index, std::string card) {
        std::vector<std::string> cards = Standard(4, 2);
        cards[std::size_t(index)] = card;
        return with(cards);
    };
    auto dropped = [&](int index) {
        std::vector<std::string> cards = Standard(4, 2);
        cards.erase(cards.begin() + index);
        return with(cards);
    };
    std::vector<std::uint8_t> shortByOne = Fits(Standard(20, 30), Ramp(600));
    shortByOne.pop_back();

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"empty", {}, "empty file"},
        {"not FITS", std::vector<std::uint8_t>(3000, 'x'), "not a FITS file"},
        {"no END", Fits(Standard(4, 2), Ramp(8), false), "no END card"},
        {"END with text after it",
         [&] {
             std::vector<std::string> cards = Standard(4, 2);
             cards.push_back(Card("END     x"));
             return Fits(cards, Ramp(8), false);
         }(),
         "no END card"},
        {"BITPIX 12", replaced(1, Value("BITPIX", "12")), "BITPIX is 12"},
        {"BITPIX -16", replaced(1, Value("BITPIX", "-16")), "BITPIX is -16"},
        {"no BITPIX", dropped(1), "no BITPIX card"},
        {"NAXIS 1", replaced(2, Value("NAXIS", "1")), "NAXIS is 1"},
        {"no NAXIS1", dropped(3), "no NAXIS1 card"},
        {"no NAXIS2", dropped(4), "no NAXIS2 card"},
        {"NAXIS1 twice", standardPlus(Value("NAXIS1", "4")), "NAXIS1 appears more than once"},
        {"NAXIS1 not a number", replaced(3, Value("NAXIS1", "'4'")), "NAXIS1 is not an integer"},
        {"width 0", replaced(3, Value("NAXIS1", "0")), "image size 0 x 2 is outside"},
        {"height 16001", replaced(4, Value("NAXIS2", "16001")), "image size 4 x 16001"},
        {"fourth axis",
         [&] {
             std::vector<std::string> cards = Standard(4, 2);
             cards[2] = Value("NAXIS", "4");
             cards.push_back(Value("NAXIS3", "1"));
             cards.push_back(Value("NAXIS4", "2"));
             return with(cards, 16);
         }(),
         "NAXIS4 is 2"},
        {"planes short of their data",
         [&] {
             std::vector<std::string> cards = Standard(4, 2);
             cards[2] = Value("NAXIS", "3");
             cards.push_back(Value("NAXIS3", "3"));
             return with(cards, 16);
         }(),
         "truncated: 32 of 48"},
        {"BSCALE 0", standardPlus(Value("BSCALE", "0")), "BSCALE is 0"},
        {"extension not an image",
         [&] {
             std::vector<std::string> cards = Standard(4, 2);
             cards[2] = Value("NAXIS", "0");
             auto bytes = with(cards, 0);
             const auto table = Fits(
                 {Value("XTENSION", "'TABLE   '"), Value("BITPIX", "8"), Value("NAXIS", "0")}, {});
             bytes.insert(bytes.end(), table.begin(), table.end());
             return bytes;
         }(),
         "the first extension is not an image"},
        {"BZERO text", standardPlus(Value("BZERO", "abc")), "BZERO is not a number"},
        {"BZERO string", standardPlus(Value("BZERO", "'32768'")), "BZERO is not a number"},
        {"BZERO infinite", standardPlus(Value("BZERO", "1E400")), "BZERO is not a number"},
        {"one byte short", shortByOne, "truncated: 1199 of 1200 data bytes present"},
        {"header block cut off",
         [&] {
             std::vector<std::string> cards = Standard(4, 2);
             cards[2] = Value("NAXIS", "0");
             auto bytes = Fits(cards, {});
             bytes.resize(bytes.size() - 100);
             return bytes;
         }(),
         "the header's last block is cut off"},
        {"compressed image without tiles",
         [&] {
             std::vector<std::string> cards = Standard(4, 2);
             cards[2] = Value("NAXIS", "0");
             auto bytes = with(cards, 0);
             const auto table =
                 Fits({Value("XTENSION", "'BINTABLE'"), Value("BITPIX", "8"), Value("NAXIS", "2"),
                       Value("NAXIS1", "8"), Value("NAXIS2", "0"), Value("GCOUNT", "1"),
                       Value("ZIMAGE", "T"), Value("ZBITPIX", "16"), Value("ZNAXIS", "2"),
                       Value("ZNAXIS1", "10"), Value("ZNAXIS2", "4")},
                      {});
             bytes.insert(bytes.end(), table.begin(), table.end());
             return bytes;
         }(),
         "holds no tiles"},
    };
    for (const Case& c : cases) {
        FitsHeader h;
        std::string error;
        EXPECT_FALSE(Parse(c.bytes, h, error)) << c.name;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    }
}

TEST(FitsReader, RawWordsFoldWithBzero) {
    struct Case {
        const char* bzero;
        std::uint16_t raw;
        int value;
    };
    const Case cases[] = {
        {"32768", 0x0000, 32768},
        {"32768", 0x7FFF, 65535},
        {"32768", 0x8000, 0},
        {"32768", 0xFFFF, 32767},
        // Stored words are signed, whatever BZERO is.
        {nullptr, 0xFFFF, -1},
        {"0", 0x1234, 0x1234},
        {"0", 0xFFFF, -1},
        {"0", 0x8000, -32768},
        {"1000", 0xFFFF, 999},
        {"1000", 0x8000, -31768},
        {"-32768", 0x0001, -32767},
        {"-32768", 0xFFFF, -32769},
        {"2147450880", 0x7FFF, INT_MAX},
        {"-2147450880", 0x8000, INT_MIN},
    };
    TempDir dir;
    for (const Case& c : cases) {
        std::vector<std::string> cards = Standard(2, 1);
        if (c.bzero) cards.push_back(Value("BZERO", c.bzero));
        const std::string path = dir.write("raw.fits", Fits(cards, {c.raw, 0}));
        const std::string label = std::to_string(c.raw) + " bzero " + (c.bzero ? c.bzero : "-");
        // The one-call reader and the four-step sequence must agree.
        IntPlane plane;
        int w = 0, h = 0, cardCount = 0, bzero = 0;
        std::string error;
        ASSERT_TRUE(ReadFitsFrame(path, plane, w, h, error)) << error;
        EXPECT_EQ(plane[0][0], c.value) << label;

        IntPlane steps;
        std::vector<char> header;
        ASSERT_TRUE(AllocIntPlane(2, 1, steps, error));
        ASSERT_TRUE(ReadFitsImage(path, header, w, h, cardCount, bzero, steps, error)) << error;
        EXPECT_EQ(steps[0][0], c.raw) << label;
        ASSERT_TRUE(ApplyBzero(bzero, w, h, steps, error));
        EXPECT_EQ(steps[0][0], c.value) << label;
    }
}

TEST(FitsReader, TheFoldClampsPastTheIntRange) {
    EXPECT_EQ(FoldBzero(0x0001, INT_MAX), INT_MAX);
    EXPECT_EQ(FoldBzero(0x8000, INT_MIN), INT_MIN);
    EXPECT_EQ(FoldBzero(0x7FFF, 2147483647), INT_MAX);
}

TEST(FitsReader, CallingSequenceOverAFile) {
    TempDir dir;
    std::vector<std::string> cards = Standard(5, 4);
    while (cards.size() < 40) cards.push_back(Card("HISTORY padding"));
    cards.push_back(Value("BZERO", "32768"));
    const std::vector<std::uint16_t> words = Ramp(20);
    const auto bytes = Fits(cards, words);
    const std::string path = dir.write("frame.fts", bytes);

    int w = 0, h = 0, cardCount = 0, bzero = 0;
    std::string error;
    ASSERT_TRUE(ReadFitsSize(path, w, h, error)) << error;
    ASSERT_EQ(w, 5);
    ASSERT_EQ(h, 4);
    IntPlane plane;
    ASSERT_TRUE(AllocIntPlane(w, h, plane, error));
    std::vector<char> header;
    ASSERT_TRUE(ReadFitsImage(path, header, w, h, cardCount, bzero, plane, error)) << error;
    EXPECT_EQ(cardCount, 72);
    EXPECT_EQ(bzero, 32768);
    ASSERT_EQ(header.size(), 5760u);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) EXPECT_EQ(plane[x][y], words[std::size_t(y * w + x)]);
    EXPECT_FALSE(ApplyBzero(bzero, w + 1, h, plane, error));  // past the plane: refused

    // A plane of another size is refused and left alone.
    IntPlane other;
    ASSERT_TRUE(AllocIntPlane(4, 5, other, error));
    other[3][4] = -7;
    EXPECT_FALSE(ReadFitsImage(path, header, w, h, cardCount, bzero, other, error));
    EXPECT_NE(error.find("5 x 4"), std::string::npos) << error;
    EXPECT_EQ(other[3][4], -7);
    EXPECT_EQ(other[0][0], 0);
}

TEST(FitsReader, FilesThatCannotBeReadFailWithoutAllocating) {
    TempDir dir;
    auto truncated = Fits(Standard(64, 64), Ramp(64 * 64));
    truncated.resize(truncated.size() - 100);
    struct Case {
        std::string path;
        std::string reason;
    };
    const Case cases[] = {
        {dir.file("missing.fits"), std::string("cannot open: ") + std::strerror(ENOENT)},
        {dir.path().string(), "cannot open: Is a directory"},
        {"/dev/null", "not a regular file"},
        {dir.write("empty.fits", std::string()), "empty file"},
        {dir.write("short.fits", truncated), "truncated: 8092 of 8192 data bytes present"},
    };
    for (const Case& c : cases) {
        int w = -1, h = -1;
        std::string error;
        EXPECT_FALSE(ReadFitsSize(c.path, w, h, error)) << c.path;
        EXPECT_EQ(error, c.reason);
        EXPECT_EQ(w, -1);

        IntPlane plane;
        error.clear();
        EXPECT_FALSE(ReadFitsFrame(c.path, plane, w, h, error)) << c.path;
        EXPECT_EQ(error, c.reason);
        EXPECT_TRUE(plane.empty()) << c.path;
    }
}

TEST(FitsReader, WritesNothingAnywhere) {
    TempDir work, data;
    auto listing = [](const std::filesystem::path& p) {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(p))
            names.insert(e.path().string());
        return names;
    };
    std::vector<std::string> cards = Standard(3, 3);
    cards.push_back(Value("BZERO", "32768"));
    const std::string good = data.write("good.fit", Fits(cards, Ramp(9)));
    const std::string bad = data.write("bad.fit", Fits(Standard(3, 3), Ramp(2)));

    const std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::current_path(work.path());
    const auto workBefore = listing(work.path());
    const auto dataBefore = listing(data.path());
    for (const std::string& path : {good, bad}) {
        int w = 0, h = 0, cards = 0, bzero = 0;
        std::string error;
        std::vector<char> header;
        IntPlane plane;
        // Only what they leave behind counts here, not whether they read.
        (void)ReadFitsSize(path, w, h, error);
        (void)AllocIntPlane(3, 3, plane, error);
        (void)ReadFitsImage(path, header, w, h, cards, bzero, plane, error);
        (void)ReadFitsFrame(path, plane, w, h, error);
    }
    EXPECT_EQ(listing(work.path()), workBefore);
    EXPECT_EQ(listing(data.path()), dataBefore);
    EXPECT_TRUE(workBefore.empty());
    std::filesystem::current_path(saved);
}

TEST(FitsReader, RowSumsAreExact) {
    // Widths around the 8-word blocks and long enough to need several runs of blocks;
    // offsets from none to the largest the sums take.
    const int widths[] = {1, 7, 8, 9, 640, 4001, 16000};
    const int offsets[] = {0, 32768, -32768, 65535, 1 << 20, -(1 << 30), INT32_MAX - 65535};
    std::vector<std::uint8_t> row;
    std::uint32_t seed = 12345;
    for (int width : widths) {
        row.resize(std::size_t(width) * 2);
        for (auto& b : row) b = std::uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
        for (int bzero : offsets) {
            std::int64_t s = 0, sx = 0, expectedS = 0, expectedSx = 0;
            for (int x = 0; x < width; ++x) {
                const std::int64_t v =
                    FoldBzero(std::int32_t(row[2 * x]) << 8 | row[2 * x + 1], bzero);
                expectedS += v;
                expectedSx += v * x;
            }
            FitsRowSums(row.data(), width, bzero, s, sx);
            EXPECT_EQ(s, expectedS) << width << " " << bzero;
            EXPECT_EQ(sx, expectedSx) << width << " " << bzero;
        }
    }
}
