// A run's memory stays bounded whatever the number of threads: large frames wait for one
// another instead of all being decoded at once.

#include "cli_runner.h"
#include "fits_writer.h"
#include "jpeg_image.h"
#include "temp_dir.h"

#include <QImage>
#include <gtest/gtest.h>

#include <random>
#include <unistd.h>

namespace {

constexpr int kSide = 4000;

std::vector<std::uint8_t> NoiseBgr(int side) {
    std::vector<std::uint8_t> bgr(std::size_t(side) * std::size_t(side) * 3);
    std::mt19937 rng(7);
    for (std::size_t i = 0; i < bgr.size(); i += 4096) bgr[i] = std::uint8_t(rng());
    return bgr;
}

// `copies` names for one file: distinct links, so the list holds no repeated entry.
std::vector<std::string> Linked(const TempDir& dir, const std::string& path, const char* ext,
                                int copies) {
    std::vector<std::string> names{path};
    for (int k = 1; k < copies; ++k) {
        const std::string name = dir.file("copy" + std::to_string(k) + ext);
        if (link(path.c_str(), name.c_str()) != 0) return {};
        names.push_back(name);
    }
    return names;
}

}  // namespace

TEST(CliMemory, LargeFramesOnManyThreadsStayUnder300MB) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own memory would be measured";
#endif
    const std::vector<std::uint8_t> bgr = NoiseBgr(kSide);
    struct Case {
        const char* ext;
    };
    for (const char* ext : {".fit", ".bmp", ".jpg"}) {
        SCOPED_TRACE(ext);
        TempDir dir;
        const std::string path = dir.file(std::string("frame") + ext);
        std::string error;
        if (std::string(ext) == ".fit") {
            std::vector<std::uint16_t> values(std::size_t(kSide) * kSide);
            for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::uint16_t(bgr[i * 3]);
            ASSERT_EQ(WriteFits16(path, values.data(), kSide, kSide, error), 0) << error;
        } else if (std::string(ext) == ".bmp") {
            const QImage image(bgr.data(), kSide, kSide, kSide * 3, QImage::Format_BGR888);
            ASSERT_TRUE(image.save(QString::fromStdString(path), "BMP"));
        } else {
            ASSERT_TRUE(JpegImage::saveFile(path, bgr.data(), kSide, kSide, std::size_t(kSide) * 3,
                                            90, error)) << error;
        }
        const std::vector<std::string> frames = Linked(dir, path, ext, 8);
        ASSERT_EQ(frames.size(), 8u);
        std::vector<std::string> args{"select", "--peak", "--threads", "16"};
        args.insert(args.end(), frames.begin(), frames.end());
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_LT(r.maxResidentKb, 300 * 1024) << r.maxResidentKb / 1024 << " MB";
    }
}
