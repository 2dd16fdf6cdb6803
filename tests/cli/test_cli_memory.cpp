// A run's memory stays bounded whatever the number of threads: large frames wait for one
// another instead of all being decoded at once.

#include "file_io.h"
#include "fits_library_writer.h"
#include "fits_writer.h"
#include "jpeg_image.h"
#include "ser_test_files.h"
#include "temp_dir.h"

#include <QImage>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace framesifter;

namespace {

constexpr int kSide = 4000;

// A 4000 x 4000 frame of the kind `ext` names; ".BMP" is a 16-bit BMP, a kind read through
// Qt's reader. Its buffers are gone when this returns, so they do not count in the run.
bool WriteLargeFrame(const std::string& path, const std::string& ext, std::string& error) {
    std::vector<std::uint8_t> bgr(std::size_t(kSide) * kSide * 3);
    std::mt19937 rng(7);
    for (std::size_t i = 0; i < bgr.size(); i += 4096) bgr[i] = std::uint8_t(rng());
    if (ext == ".fit") {
        std::vector<std::uint16_t> values(std::size_t(kSide) * kSide);
        for (std::size_t i = 0; i < values.size(); ++i) values[i] = std::uint16_t(bgr[i * 3]);
        return WriteFits16(path, values.data(), kSide, kSide, error);
    }
    if (ext == ".jpg") {
        std::vector<std::uint8_t> jpeg;
        return JpegImage::encode(bgr.data(), kSide, kSide, std::size_t(kSide) * 3, 90, jpeg,
                                 error) &&
               WriteNewFile(path, jpeg.data(), jpeg.size(), error);
    }
    if (ext == ".bmp") {
        const QImage image(bgr.data(), kSide, kSide, kSide * 3, QImage::Format_BGR888);
        return image.save(QString::fromStdString(path), "BMP");
    }
    std::vector<std::uint8_t> file(54);
    auto put = [&](std::size_t at, std::uint32_t v, int bytes) {
        for (int k = 0; k < bytes; ++k) file[at + std::size_t(k)] = std::uint8_t(v >> (8 * k));
    };
    const std::uint32_t data = std::uint32_t(kSide) * kSide * 2;
    file[0] = 'B';
    file[1] = 'M';
    put(2, 54 + data, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, kSide, 4);
    put(22, kSide, 4);
    put(26, 1, 2);
    put(28, 16, 2);
    file.insert(file.end(), bgr.begin(), bgr.begin() + data);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    const bool ok = out && std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return out && std::fclose(out) == 0 && ok;
}

// The peak resident memory of the command-line tool running `args`, in KB, and its exit
// code. fork, not posix_spawn: a child sharing this process's memory until exec would be
// charged this process's own peak.
long PeakOfRun(std::vector<std::string> args, int& exitCode) {
    args.insert(args.begin(), FRAMESIFTER_CLI);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout)) _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {}
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return usage.ru_maxrss;
}

}  // namespace

TEST(CliMemory, LargeFramesOnManyThreadsStayUnder300MB) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own memory would be measured";
#endif
    for (const char* ext : {".fit", ".bmp", ".jpg", ".BMP"}) {
        SCOPED_TRACE(ext);
        TempDir dir;
        const std::string path = dir.file(std::string("frame") + ext);
        std::string error;
        ASSERT_TRUE(WriteLargeFrame(path, ext, error)) << error;
        // Distinct links to one file: eight frames for sixteen threads.
        std::vector<std::string> args{"select", "--peak", "--threads", "16", path};
        for (int k = 1; k < 8; ++k) {
            args.push_back(dir.file("copy" + std::to_string(k) + ext));
            ASSERT_EQ(link(path.c_str(), args.back().c_str()), 0);
        }
        int exitCode = -1;
        const long peakKb = PeakOfRun(args, exitCode);
        EXPECT_EQ(exitCode, 0);
        std::printf("%s: peak resident memory %ld MB\n", ext, peakKb / 1024);
        EXPECT_LT(peakKb, 300 * 1024) << peakKb / 1024 << " MB";
    }
}

TEST(CliMemory, AHundredThousandVideoFramesStayUnder300MB) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own memory would be measured";
#endif
    // 6.5 GB of 256 x 256 frames, none of them stored: the file is sparse and reads as zeros.
    TempDir dir;
    ser_test_files::SerLayout layout;
    layout.width = layout.height = 256;
    layout.count = 100000;
    const std::string path = dir.write("long.ser", ser_test_files::SerHeaderBytes(layout));
    const int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t(178) + off_t(layout.count) * 256 * 256), 0);
    close(fd);
    int exitCode = -1;
    const long peakKb = PeakOfRun({"select", path}, exitCode);
    EXPECT_EQ(exitCode, 0);
    std::printf("100000 frames: peak resident memory %ld MB\n", peakKb / 1024);
    EXPECT_LT(peakKb, 300 * 1024) << peakKb / 1024 << " MB";
}

TEST(CliMemory, TileCompressedBombsStayUnder300MBAndAreRefusedQuickly) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own memory would be measured";
#endif
    // Small files of zeros whose one tile the library would decompress whole (over 400 MB),
    // and a large image in rows of tiles, which is read.
    const struct {
        const char* name;
        Written written;
        int side;
        int exitCode;
    } cases[] = {
        {"one rice tile", {16, 1, 1, 0, true, RICE_1, 5000, 5000}, 5000, 1},
        {"one gzip tile", {16, 1, 1, 0, true, GZIP_1, 5000, 5000}, 5000, 1},
        {"rows of tiles", {16, 1, 1, 0, true, GZIP_1}, 6000, 0},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = dir.file(std::string(c.name) + ".fits");
        ASSERT_TRUE(WriteWithLibrary(path, c.written, c.side, c.side, [](int, int, int) {
            return 0.0;
        })) << c.name;
        std::vector<std::vector<std::string>> runs = {{"profile", path},
                                                      {"profile", "--peak", path}};
        std::vector<std::string> threads{"select", "--peak", "--threads", "16", path};
        for (int k = 1; k < 8; ++k) {
            threads.push_back(dir.file("copy" + std::to_string(k) + ".fits"));
            ASSERT_EQ(link(path.c_str(), threads.back().c_str()), 0);
        }
        runs.push_back(threads);
        for (const auto& args : runs) {
            SCOPED_TRACE(std::string(c.name) + " " + args[0] + " " + args[1]);
            int exitCode = -1;
            const auto start = std::chrono::steady_clock::now();
            const long peakKb = PeakOfRun(args, exitCode);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            EXPECT_EQ(exitCode, c.exitCode);
            EXPECT_LT(peakKb, 300 * 1024) << peakKb / 1024 << " MB";
            EXPECT_LT(seconds, 30);
        }
    }
}
