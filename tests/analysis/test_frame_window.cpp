#include "fits_writer.h"
#include "frame_border_of.h"
#include "frame_window.h"
#include "temp_dir.h"

#include <QImage>
#include <gtest/gtest.h>

#include <random>

using namespace framesifter;

namespace {

// A bright blob away from the centre on a noisy background, so that peak mode and centre
// mode choose different windows.
std::vector<std::uint16_t> Scene(int w, int h, int bx, int by, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint16_t> v(std::size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double d2 = double(x - bx) * (x - bx) + double(y - by) * (y - by);
            v[std::size_t(y) * w + x] = std::uint16_t(
                std::min(65535.0, 500 + 60000 * std::exp(-d2 / 2000.0) + rng() % 300));
        }
    return v;
}

std::string Write(const TempDir& dir, const std::string& name, int w, int h, int bx, int by) {
    const auto v = Scene(w, h, bx, by, std::uint32_t(w * 31 + h));
    const std::string path = dir.file(name);
    std::string error;
    const std::string ext = name.substr(name.rfind('.'));
    if (ext == ".fits" || ext == ".FIT") {
        EXPECT_TRUE(WriteFits16(path, v.data(), w, h, error)) << error;
        return path;
    }
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int g = v[std::size_t(y) * w + x] >> 8;
            image.setPixel(x, y, qRgb(255 - g, g, g / 2));
        }
    EXPECT_TRUE(image.save(QString::fromStdString(path), ext == ".bmp" ? "BMP" : "JPG", 90));
    return path;
}

}  // namespace

TEST(ReadFrameWindow, GivesTheSameWindowAsTheFullFrame) {
    TempDir dir;
    const struct {
        const char* name;
        int w, h, bx, by;
    } frames[] = {
        {"a.fits", 640, 480, 500, 100},  {"b.FIT", 257, 300, 10, 290},
        {"c.fits", 256, 256, 128, 128},  {"d.bmp", 640, 480, 90, 400},
        {"e.jpg", 1280, 960, 1000, 200}, {"f.jpg", 300, 257, 0, 0},
    };
    for (const auto& f : frames) {
        const std::string path = Write(dir, f.name, f.w, f.h, f.bx, f.by);
        for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
            SCOPED_TRACE(std::string(f.name) + (mode == WindowMode::Peak ? " peak" : " centre"));
            FrameReader reader;
            IntPlane fast, expected;
            std::string error;
            ASSERT_TRUE(AllocIntPlane(256, 256, fast, error));
            ASSERT_TRUE(AllocIntPlane(256, 256, expected, error));
            int w = 0, h = 0;
            ASSERT_EQ(ReadFrameWindow(ParseFrameRef(path), mode, 256, reader, fast, w, h, error),
                      WindowRead::Ok)
                << error;
            EXPECT_EQ(w, f.w);
            EXPECT_EQ(h, f.h);

            Frame frame;
            JpegImage decoder;
            ASSERT_TRUE(LoadFrameForAnalysis(path, FileExtension(path), decoder, frame, error));
            int x0 = 0, y0 = 0;
            WindowCorner(frame, 256, mode, x0, y0);
            CopyWindow(frame, x0, y0, 256, expected);
            int differing = 0;
            for (int i = 0; i < 256; ++i)
                for (int j = 0; j < 256; ++j) differing += fast[i][j] != expected[i][j];
            EXPECT_EQ(differing, 0);
            // Peak mode passes every row: it gathers the frame's edge on the way.
            EXPECT_EQ(reader.border.gathered(), mode == WindowMode::Peak);
            if (mode == WindowMode::Peak) EXPECT_EQ(EdgeBlocks(reader.border), EdgeBlocksOf(frame));
        }
    }
}

TEST(ReadFrameWindow, ReportsSmallAndUnreadableFrames) {
    TempDir dir;
    const std::string small = Write(dir, "small.fits", 200, 300, 5, 5);
    const std::string smallBmp = Write(dir, "small.bmp", 300, 255, 5, 5);
    const std::string smallJpeg = Write(dir, "small.jpg", 255, 900, 5, 5);
    auto bytes = ReadAll(Write(dir, "whole.fits", 640, 480, 5, 5));
    bytes.resize(bytes.size() / 2);
    const std::string cut = dir.write("cut.fits", bytes);
    const std::string folder = dir.file("folder.fit");
    std::filesystem::create_directory(folder);
    const struct {
        std::string path;
        WindowRead expected;
        int w, h;
        const char* reason;
    } cases[] = {
        {small, WindowRead::TooSmall, 200, 300, ""},
        {smallBmp, WindowRead::TooSmall, 300, 255, ""},
        {smallJpeg, WindowRead::TooSmall, 255, 900, ""},
        {cut, WindowRead::Unreadable, 0, 0, "truncated"},
        {folder, WindowRead::Unreadable, 0, 0, "Is a directory"},
        {dir.file("missing.jpg"), WindowRead::Unreadable, 0, 0, "No such file"},
        {dir.file("notes.txt"), WindowRead::Unreadable, 0, 0, "not a BMP, JPEG or FITS"},
    };
    FrameReader reader;  // one reader across failures, as in a run
    IntPlane window;
    std::string allocError;
    ASSERT_TRUE(AllocIntPlane(256, 256, window, allocError));
    for (const auto& c : cases) {
        for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
            SCOPED_TRACE(c.path + (mode == WindowMode::Peak ? " peak" : " centre"));
            int w = 0, h = 0;
            std::string error;
            EXPECT_EQ(
                ReadFrameWindow(ParseFrameRef(c.path), mode, 256, reader, window, w, h, error),
                c.expected);
            if (c.expected == WindowRead::TooSmall) {
                EXPECT_EQ(w, c.w);
                EXPECT_EQ(h, c.h);
            } else {
                EXPECT_NE(error.find(c.reason), std::string::npos) << error;
            }
        }
    }
}
