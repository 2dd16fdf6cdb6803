#include "fits_reader.h"
#include "fits_writer.h"
#include "frame_window.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sys/stat.h>

using namespace framesifter;

namespace {

// Bytes this process has read through system calls; reading the count itself adds a little.
std::uint64_t BytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return 0;
}
constexpr std::uint64_t kCountingBytes = 4096;

}  // namespace

TEST(FitsWindow, ReadsLittleOfALargeFrameAndStaysWithinASmallBudget) {
    TempDir dir;
    const int side = 4000;
    std::vector<std::uint16_t> values(std::size_t(side) * side, 100);
    for (int y = 3000; y < 3100; ++y)
        for (int x = 500; x < 600; ++x) values[std::size_t(y) * side + x] = 50000;
    const std::string path = dir.file("large.fit");
    std::string error;
    ASSERT_TRUE(WriteFits16(path, values.data(), side, side, error)) << error;
    Frame frame;
    JpegImage decoder;
    ASSERT_TRUE(LoadFrameForAnalysis(path, ".fit", decoder, frame, error)) << error;

    const std::uint64_t rows = std::uint64_t(256) * side * 2 + 2880;
    const struct {
        WindowMode mode;
        std::uint64_t mostRead;
    } cases[] = {
        {WindowMode::Centre, rows},
        {WindowMode::Peak, std::uint64_t(side) * side * 2 + rows},
    };
    MemoryBudget budget(std::size_t(4) << 20);  // an eighth of the file
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode == WindowMode::Peak ? "peak" : "centre");
        FrameReader reader;
        reader.hold.setBudget(&budget);
        IntPlane window, expected;
        ASSERT_TRUE(AllocIntPlane(256, 256, window) && AllocIntPlane(256, 256, expected));
        int w = 0, h = 0;
        const std::uint64_t before = BytesRead();
        ASSERT_EQ(ReadFrameWindow(path, c.mode, 256, reader, window, w, h, error), WindowRead::Ok)
            << error;
        EXPECT_LE(BytesRead() - before, c.mostRead + kCountingBytes);
        int x0 = 0, y0 = 0;
        WindowCorner(frame, 256, c.mode, x0, y0);
        CopyWindow(frame, x0, y0, 256, expected);
        EXPECT_EQ(std::memcmp(window.data(), expected.data(), 256 * 256 * 4), 0);
    }
}

TEST(FitsReaders, StopAtTheHeaderOfJunkAnEndlessHeaderOrAPipe) {
    TempDir dir;
    // Sparse 1 GiB files: zeros, and a SIMPLE card followed by blanks with no END anywhere.
    const std::string junk = dir.write("junk.fit", std::string());
    std::string simple = "SIMPLE  =                    T";
    simple.resize(2880, ' ');
    const std::string endless = dir.write("endless.fit", simple);
    for (const std::string& path : {junk, endless})
        std::filesystem::resize_file(path, std::uintmax_t(1) << 30);
    const std::string fifo = dir.file("pipe.fit");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        const char* reason;
        std::uint64_t mostRead;
    } cases[] = {
        {junk, "not a FITS file", 2880},
        {endless, "no END card in the first 360 header blocks", 360 * 2880},
        {fifo, "not a regular file", 0},
    };
    using Reader = std::function<bool(const std::string&, std::string&)>;
    auto window = [](WindowMode mode) -> Reader {
        return [mode](const std::string& path, std::string& error) {
            FrameReader reader;
            IntPlane plane;
            int w = 0, h = 0;
            return AllocIntPlane(256, 256, plane) &&
                   ReadFrameWindow(path, mode, 256, reader, plane, w, h, error) == WindowRead::Ok;
        };
    };
    const Reader readers[] = {
        window(WindowMode::Centre),
        window(WindowMode::Peak),
        [](const std::string& path, std::string& error) {
            int w = 0, h = 0;
            return ReadFitsSize(path, w, h, error);
        },
        [](const std::string& path, std::string& error) {
            IntPlane plane;
            int w = 0, h = 0;
            return ReadFitsFrame(path, plane, w, h, error);
        },
    };
    for (const auto& c : cases) {
        for (std::size_t r = 0; r < std::size(readers); ++r) {
            SCOPED_TRACE(c.path + ", reader " + std::to_string(r));
            std::string error;
            const std::uint64_t before = BytesRead();
            auto read = std::async(std::launch::async, [&] { return readers[r](c.path, error); });
            if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
                ADD_FAILURE() << "the reader waits";
                std::ofstream(c.path).close();  // a writer that comes and goes releases it
            }
            EXPECT_FALSE(read.get());
            EXPECT_LE(BytesRead() - before, c.mostRead + kCountingBytes);
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        }
    }
}
