// The viewer's window-free rules: grey levels, save names, zoom text, the settings file,
// and reading and writing pictures.

#include "image_fixtures.h"
#include "picture_files.h"
#include "ser_test_files.h"
#include "settings_file.h"
#include "temp_dir.h"
#include "viewer_rules.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include <csignal>
#include <sys/resource.h>

using namespace framesifter;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

TEST(GreyLevel, IsProportionalToTheLargestValue) {
    struct Case {
        std::int32_t v;
        double max;
        int grey;
    };
    const Case cases[] = {
        {65535, 65535, 255}, {32768, 65535, 127}, {257, 65535, 1},   {256, 65535, 0},
        {0, 65535, 0},       {2000, 2000, 255},   {1000, 2000, 127}, {1999, 2000, 254},
        {5, 0, 0},           {0, 0, 0},           {-40, 100, 0},     {100, 100, 255},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GreyLevel(c.v, c.max), c.grey) << "v=" << c.v << " max=" << c.max;
}

TEST(ScaledGrey, MapsTheScaleLinearlyAndHoldsBeyondIt) {
    const double nan = std::nan("");
    struct Case {
        double v, low, high;
        int grey;
    };
    const Case cases[] = {
        {100, 100, 1100, 0},   {1100, 100, 1100, 255}, {600, 100, 1100, 127},
        {99, 100, 1100, 0},    {5000, 100, 1100, 255}, {-0.5, -1, 1, 63},
        {0.75, 0.5, 1.0, 127}, {nan, 0, 10, 0},        {7, 7, 7, 255},
        {6.9, 7, 7, 0},        {-3, -3, -3, 255},      {1e300, -1e300, 1e300, 255},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScaledGrey(c.v, {c.low, c.high}), c.grey)
            << c.v << " on " << c.low << ".." << c.high;
}

TEST(FitsToGrey, WritesRowsOfEqualBytesFromTheColumnPlane) {
    // 3 x 2: plane[x][y]; rows of the output are y.
    IntPlane plane;
    std::string error;
    ASSERT_TRUE(AllocIntPlane(3, 2, plane, error));
    const int values[2][3] = {{65535, 32768, 257}, {256, 0, 1000}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) plane[x][y] = values[y][x];
    const std::size_t stride = 3 * 3 + 3;  // padded rows
    std::vector<std::uint8_t> bgr(stride * 2, 0xAA);
    ASSERT_TRUE(FitsToGrey(plane, 3, 2, bgr.data(), stride, error));
    const int expected[2][3] = {{255, 127, 1}, {0, 0, 3}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(bgr[y * stride + 3 * x + c], expected[y][x]) << x << "," << y;
    EXPECT_EQ(bgr[9], 0xAA) << "padding past the row must stay untouched";
}

TEST(FitsToGrey, AllZeroImageIsBlackAndTooSmallPlaneIsRefused) {
    IntPlane plane;
    std::string error;
    ASSERT_TRUE(AllocIntPlane(4, 4, plane, error));
    std::vector<std::uint8_t> bgr(4 * 4 * 3, 0x55);
    ASSERT_TRUE(FitsToGrey(plane, 4, 4, bgr.data(), 12, error));
    for (std::uint8_t b : bgr) EXPECT_EQ(b, 0);
    EXPECT_FALSE(FitsToGrey(plane, 5, 4, bgr.data(), 15, error));
    EXPECT_EQ(error, "the image data do not match the size 5 x 4");
}

TEST(OpenFilterForName, ByExtensionInAnyCase) {
    const std::pair<const char*, int> cases[] = {
        {"/d/a.bmp", 0},  {"a.BMP", 0},       {"/d/a.fit", 1},   {"a.FTS", 1},
        {"a.fits", 1},    {"a.jpg", 2},       {"a.JPEG", 2},     {"a.png", -1},
        {"/d.bmp/a", -1}, {"bmp", -1},        {"a.bmp.txt", -1}, {"a.", -1},
        {"a.SER", 3},     {"/d/a.ser#12", 3}, {"a.ser#0", -1},   {"a.fit#2", -1},
    };
    for (const auto& [name, filter] : cases) EXPECT_EQ(OpenFilterForName(name), filter) << name;
}

TEST(SaveTargetName, KeepsTheEntrysExtensionAsTypedAndReplacesAnyOther) {
    const QStringList jpeg{".jpg", ".jpeg"};
    const QStringList bmp{".bmp"};
    struct Case {
        const char* chosen;
        const QStringList& extensions;
        const char* target;
    };
    const Case cases[] = {
        {"/d/photo", jpeg, "/d/photo.jpg"},        {"/d/photo.jpeg", jpeg, "/d/photo.jpeg"},
        {"/d/photo.JPG", jpeg, "/d/photo.JPG"},    {"/d/photo.Jpeg", jpeg, "/d/photo.Jpeg"},
        {"/d/photo.bmp", jpeg, "/d/photo.jpg"},    {"/d/photo.jpg", bmp, "/d/photo.bmp"},
        {"/d/photo.jpeg", bmp, "/d/photo.bmp"},    {"/d/photo.BMP", bmp, "/d/photo.BMP"},
        {"/d/a.b.c", bmp, "/d/a.b.bmp"},           {"/d/a.jpg.bmp", jpeg, "/d/a.jpg.jpg"},
        {"/d.old/photo", bmp, "/d.old/photo.bmp"}, {"/d.jpg/photo", jpeg, "/d.jpg/photo.jpg"},
        {"/d/photo.", jpeg, "/d/photo.jpg"},       {"photo", bmp, "photo.bmp"},
        {"/d/photo.jpgx", jpeg, "/d/photo.jpg"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SaveTargetName(c.chosen, c.extensions).toStdString(), c.target) << c.chosen;
}

TEST(ZoomText, OneDecimalAndAPercentSign) {
    const std::pair<double, const char*> cases[] = {
        {8, "800.0%"},   {4, "400.0%"},    {2, "200.0%"},    {1, "100.0%"},       {0.5, "50.0%"},
        {0.25, "25.0%"}, {0.125, "12.5%"}, {0.0625, "6.2%"}, {0.0078125, "0.8%"},
    };
    for (const auto& [factor, text] : cases) EXPECT_EQ(ZoomText(factor).toStdString(), text);
}

TEST(CascadePosition, StepsDownAndStartsANewRoundBeforeAnEdge) {
    struct Case {
        bool hasNewest;
        QPoint newest;
        QSize window;
        QPoint expected;
    };
    const QSize area(800, 600);
    const Case cases[] = {
        {false, {}, {100, 100}, {0, 0}},
        {true, {0, 0}, {100, 100}, {20, 20}},
        {true, {680, 100}, {100, 100}, {700, 120}},  // just fits at the right edge
        {true, {681, 100}, {100, 100}, {601, 0}},    // would reach past it: a new round
        {true, {100, 481}, {100, 100}, {20, 0}},     // past the bottom edge
        {true, {520, 500}, {100, 100}, {40, 0}},     // after a second round begun at 20
        {true, {480, 460}, {790, 100}, {0, 0}},      // no new round fits: the corner
        {true, {0, 0}, {1000, 100}, {0, 0}},         // wider than the area
        {true, {-50, -30}, {100, 100}, {20, 20}},    // a window dragged off the top left
    };
    for (const Case& c : cases) {
        const QPoint got = CascadePosition(c.hasNewest ? &c.newest : nullptr, c.window, area, 20);
        EXPECT_EQ(got, c.expected) << c.newest.x() << "," << c.newest.y();
    }
}

TEST(FrameView, WholeViewExponentAndStepping) {
    const std::tuple<QSize, QSize, int> views[] = {
        {{100, 100}, {800, 600}, 0},   {{800, 600}, {800, 600}, 0}, {{801, 600}, {800, 600}, -1},
        {{4000, 100}, {800, 600}, -3}, {{100, 100}, {0, 0}, 0},     {{1, 5000}, {800, 600}, 0},
    };
    for (const auto& [picture, room, exponent] : views)
        EXPECT_EQ(WholeViewExponent(picture, room), exponent) << picture.width();
    const std::tuple<int, int, int, int> steps[] = {
        {0, 1, 3, 1}, {2, 1, 3, 2}, {0, -1, 3, 0}, {1, -1, 3, 0}, {5, 0, 3, 2}, {0, 1, 0, 0},
    };
    for (const auto& [index, delta, count, stepped] : steps)
        EXPECT_EQ(SteppedFrame(index, delta, count), stepped) << index << delta << count;
}

TEST(Settings, FormatIsNineCrLfLines) {
    EXPECT_EQ(FormatSettings(1, 0.0),
              "X 768\r\nY 512\r\nP 9\r\nD 200\r\nF 2000\r\nS 2\r\nM 1000\r\nB 1\r\nV 0\r\n");
    EXPECT_EQ(FormatSettings(-3, 0.0).substr(47), "B -3\r\nV 0\r\n");
}

TEST(Settings, BinningIsTheEighthNumberTruncated) {
    const std::string head = "X 768\nY 512\nP 9\nD 200\nF 2000\nS 2\nM 1000\n";
    struct Case {
        std::string text;
        int binning;
        int count;
    };
    const Case cases[] = {
        {FormatSettings(1, 0.0), 1, 8},
        {FormatSettings(4, 0.0), 4, 8},
        {head + "B 2.7\n", 2, 8},
        {head + "B -1.5\n", -1, 8},
        {head + "Q 3\nV 0\n", 3, 8},                // keys are not examined
        {"X 1 Y 2 P 3 D 4 F 5 S 6 M 7 B 8", 8, 8},  // line breaks are not significant
        {"X 768\r\nY 512\r\nP 9\r\n", 0, 3},        // too short: the rest reads 0
        {head + "B two\n", 0, 7},                   // not a number
        {"", 0, 0},
        {head + "LONGKEYWORDLONGERTHANANYBUFFER 3\n", 3, 8},
        {head + "B 1e12\n", 2147483647, 8},
    };
    for (const Case& c : cases) {
        double numbers[8];
        EXPECT_EQ(ParseSettings(c.text, numbers), c.count) << c.text;
        EXPECT_EQ(BinningFromSettings(c.text), c.binning) << c.text;
    }
}

class InTempDir : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = QDir::currentPath();
        QDir::setCurrent(Q(dir_.path().string()));
    }
    void TearDown() override { QDir::setCurrent(old_); }
    QString file(const char* name) const { return Q(dir_.file(name)); }
    QStringList entries() const {
        return QDir(Q(dir_.path().string())).entryList(QDir::Files | QDir::Hidden);
    }
    TempDir dir_;
    QString old_;
};

using SettingsFile = InTempDir;

TEST_F(SettingsFile, ReadKeepsBinningWithoutAFileAndWriteReplacesTheFile) {
    const QString folder = Q(dir_.path().string());
    Binning = 1;
    ReadSettings(folder);
    EXPECT_EQ(Binning, 1);
    ASSERT_TRUE(
        WriteBytes(file("FrameSifterB.log"), "X 1\nY 1\nP 1\nD 1\nF 1\nS 1\nM 1\nB 3.9\nV 0\n"));
    ReadSettings(folder);
    EXPECT_EQ(Binning, 3);
    std::string error;
    ASSERT_TRUE(WriteSettings(folder, error)) << error;
    EXPECT_EQ(FileBytes(file("FrameSifterB.log")).toStdString(), FormatSettings(3, 0.0));
    EXPECT_EQ(entries(), QStringList{"FrameSifterB.log"});
    Binning = 1;
}

using PictureFiles = InTempDir;

TEST_F(PictureFiles, FitsOpensAsGreyAndBadFitsGiveReasons) {
    ASSERT_TRUE(WriteFitsFile(file("a.fit"), {65535, 32768, 257, 256, 0, 1}, 3, 2));
    QImage picture;
    std::string error;
    ASSERT_TRUE(LoadFits(file("a.fit"), picture, error)) << error;
    ASSERT_EQ(picture.size(), QSize(3, 2));
    const int expected[] = {255, 127, 1, 0, 0, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(picture.pixel(i % 3, i / 3), qRgb(expected[i], expected[i], expected[i])) << i;

    ASSERT_TRUE(WriteFitsFile(file("zero.fit"), std::vector<std::uint16_t>(16, 0), 4, 4));
    ASSERT_TRUE(LoadFits(file("zero.fit"), picture, error)) << "an all-zero image must open";
    EXPECT_EQ(picture.pixel(2, 2), qRgb(0, 0, 0));

    QByteArray whole = FileBytes(file("a.fit"));
    ASSERT_TRUE(WriteBytes(file("short.fit"), whole.left(2880 + 4)));
    ASSERT_TRUE(WriteBytes(file("text.fit"), QByteArray("SIMPLE? no, just text\n")));
    // Wider than any frame the reader takes, with all its data present.
    QByteArray wide;
    for (const char* card : {"SIMPLE  =                    T", "BITPIX  =                   16",
                             "NAXIS   =                    2", "NAXIS1  =                20000",
                             "NAXIS2  =                    1", "END"})
        wide += QByteArray(card).leftJustified(80, ' ');
    wide = wide.leftJustified(2880, ' ') + QByteArray(40000, '\0').leftJustified(2880 * 14, '\0');
    ASSERT_TRUE(WriteBytes(file("wide.fit"), wide));
    const std::pair<const char*, const char*> bad[] = {{"short.fit", "truncated"},
                                                       {"text.fit", "FITS"},
                                                       {"missing.fit", "open"},
                                                       {"wide.fit", "20000"}};
    for (const auto& [name, reason] : bad) {
        error.clear();
        EXPECT_FALSE(LoadFits(file(name), picture, error)) << name;
        EXPECT_TRUE(error.find(reason) != std::string::npos) << name << ": " << error;
    }
}

// A deep SER frame 0.3 times as bright as the one before looks like it when each is
// stretched to its own values, and darker on the scale of both.
TEST_F(PictureFiles, SerFramesOnOneScaleShowTheirDifference) {
    ser_test_files::SerLayout layout;
    layout.depth = 16;
    const auto value = [](int f, int x, int y) {
        return std::uint16_t((1000 + 9000 * x + 900 * y) * (f ? 3 : 10) / 10);
    };
    const std::vector<std::uint8_t> video =
        ser_test_files::SerBytes(layout, [&](int f, int x, int y, int) { return value(f, x, y); });
    ASSERT_TRUE(WriteBytes(
        file("video.ser"),
        QByteArray(reinterpret_cast<const char*>(video.data()), qsizetype(video.size()))));
    const ValueScale scale{double(value(1, 0, 0)), double(value(0, 3, 2))};
    for (const ValueScale* shared : {static_cast<const ValueScale*>(nullptr), &scale})
        for (int f = 0; f < 2; ++f) {
            QImage picture;
            std::string error;
            ASSERT_TRUE(LoadPicture({Local(file("video.ser")), f + 1}, FrameFormat::Ser, shared,
                                    picture, error))
                << error;
            const int brightest = qGreen(picture.pixel(3, 2));
            EXPECT_EQ(brightest, shared ? ScaledGrey(value(f, 3, 2), scale) : 255) << f;
            if (shared) {
                EXPECT_EQ(qGreen(picture.pixel(1, 1)), ScaledGrey(value(f, 1, 1), scale));
            }
        }
}

TEST_F(PictureFiles, BmpEntryKeepsPaletteAndDecodesJpegNamesAsJpeg) {
    ASSERT_TRUE(PaletteImage(9, 7).save(file("p8.bmp"), "BMP"));
    ASSERT_TRUE(WriteJpegFile(file("photo.jpg"), Pattern(16, 8)));
    QImage picture;
    std::string error;
    ASSERT_TRUE(LoadBmpEntry(file("p8.bmp"), picture, error));
    EXPECT_EQ(picture.format(), QImage::Format_Indexed8);
    ASSERT_TRUE(LoadBmpEntry(file("photo.jpg"), picture, error));
    EXPECT_EQ(picture.depth(), 24);
    EXPECT_EQ(picture.size(), QSize(16, 8));
    // A JPEG under a .bmp name is not a BMP; a BMP cut short is not read as complete.
    ASSERT_TRUE(QFile::copy(file("photo.jpg"), file("fake.bmp")));
    const QByteArray whole = FileBytes(file("p8.bmp"));
    ASSERT_TRUE(WriteBytes(file("short.bmp"), whole.left(whole.size() - 1)));
    ASSERT_TRUE(WriteBytes(file("header.bmp"), whole.left(20)));
    for (const char* bad : {"fake.bmp", "short.bmp", "header.bmp", "missing.bmp"}) {
        error.clear();
        EXPECT_FALSE(LoadBmpEntry(file(bad), picture, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST_F(PictureFiles, BmpIsWrittenInThePicturesOwnFormat) {
    const struct {
        QImage picture;
        int bits;
    } cases[] = {
        {PaletteImage(9, 7), 8},
        {Pattern(10, 3), 24},
        {Pattern(10, 3).convertToFormat(QImage::Format_BGR888), 24},
        {Pattern(10, 3).convertToFormat(QImage::Format_ARGB32), 24},
    };
    for (const auto& c : cases) {
        std::string error;
        ASSERT_TRUE(SaveBmp(file("out.bmp"), c.picture, error)) << error;
        const QByteArray bytes = FileBytes(file("out.bmp"));
        EXPECT_EQ(BmpBitsPerPixel(bytes), c.bits);
        const QImage back = QImage::fromData(bytes, "BMP");
        ASSERT_EQ(back.size(), c.picture.size());
        EXPECT_EQ(back.pixel(7, 2), c.picture.pixel(7, 2));
    }
    EXPECT_EQ(entries(), QStringList{"out.bmp"}) << "no temporary file may be left behind";
}

// The IJG example tables (JPEG standard, Annex K) in natural order, and the zig-zag order
// in which DQT segments list them.
const int kLuminance[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                            14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                            18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                            49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const int kChrominance[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                              24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                              99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                              99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
const int kZigZag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                         12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                         35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                         58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

std::vector<int> ScaledTable(const int* base, int quality) {
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    std::vector<int> table;
    for (int k = 0; k < 64; ++k)
        table.push_back(std::clamp((base[kZigZag[k]] * scale + 50) / 100, 1, 255));
    return table;
}

TEST_F(PictureFiles, JpegIsBaselineColourAtTheGivenQuality) {
    for (int quality : {70, 90}) {
        std::string error;
        ASSERT_TRUE(SaveJpeg(file("out.jpg"), Pattern(40, 24), quality, error)) << error;
        const JpegTables t = ReadJpegTables(FileBytes(file("out.jpg")));
        EXPECT_TRUE(t.baseline);
        EXPECT_FALSE(t.progressive);
        EXPECT_EQ(t.components, 3);
        EXPECT_EQ(t.tables[0], ScaledTable(kLuminance, quality)) << quality;
        EXPECT_EQ(t.tables[1], ScaledTable(kChrominance, quality)) << quality;
    }
    EXPECT_EQ(entries(), QStringList{"out.jpg"}) << "no temporary file may be left behind";
    EXPECT_EQ(QFileInfo(file("out.jpg")).permissions() & QFile::WriteOwner, QFile::WriteOwner);
}

// A write that fails half way (a file-size limit stands in for a full disk) leaves the old
// file as it was and no temporary file behind.
TEST_F(PictureFiles, FailedWriteKeepsTheOldFile) {
    const QByteArray old("old contents that must survive");
    ASSERT_TRUE(WriteBytes(file("keep.bmp"), old));
    ASSERT_TRUE(WriteBytes(file("keep.jpg"), old));
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string bmpError, jpegError;
    const QImage big = Pattern(300, 300);
    const bool bmpSaved = SaveBmp(file("keep.bmp"), big, bmpError);
    const bool jpegSaved = SaveJpeg(file("keep.jpg"), big, 100, jpegError);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(bmpSaved);
    EXPECT_FALSE(jpegSaved);
    EXPECT_FALSE(bmpError.empty());
    EXPECT_FALSE(jpegError.empty());
    EXPECT_EQ(FileBytes(file("keep.bmp")), old);
    EXPECT_EQ(FileBytes(file("keep.jpg")), old);
    EXPECT_EQ(entries(), (QStringList{"keep.bmp", "keep.jpg"}));
}

}  // namespace
