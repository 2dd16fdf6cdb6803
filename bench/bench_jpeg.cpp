// Times the full JPEG decode against the decode of the centred 256 x 256 window that centre
// mode needs, on demo frames of 1280 x 960 at a few qualities. Medians over many decodes of
// the same bytes from memory, so the disk plays no part.
//
// usage: bench_jpeg [--runs N] [--width W --height H]

#include "demo_frames.h"
#include "jpeg_image.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

using namespace framesifter;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWindow = 256;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <typename Decode>
double MedianMs(int runs, Decode decode) {
    std::vector<double> times;
    times.reserve(std::size_t(runs));
    decode();  // warm the decoder's buffer and the caches
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        decode();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return Median(times);
}

bool EncodeToMemory(const std::vector<std::uint8_t>& bgr, int width, int height, int quality,
                    std::vector<std::uint8_t>& bytes) {
    std::string error;
    if (JpegImage::encode(bgr.data(), width, height, std::size_t(width) * 3, quality, bytes, error))
        return !bytes.empty();
    std::fprintf(stderr, "bench_jpeg: %s\n", error.c_str());
    return false;
}

// The window's pixels against the same pixels of the full decode.
bool SameAsFull(const JpegImage& full, const JpegImage& part) {
    for (int j = 0; j < part.regionHeight(); ++j) {
        const std::uint8_t* a = full.bgr().data() +
                                full.stride() * std::size_t(part.regionY() + j) +
                                std::size_t(part.regionX()) * 3;
        const std::uint8_t* b = part.bgr().data() + part.stride() * std::size_t(j);
        if (std::memcmp(a, b, part.stride()) != 0) return false;
    }
    return part.regionWidth() == std::min(kWindow, full.width()) &&
           part.regionHeight() == std::min(kWindow, full.height());
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 50;
    int width = 1280;
    int height = 960;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (option == "--runs" && value > 0) {
            runs = value;
        } else if (option == "--width" && value >= kWindow) {
            width = value;
        } else if (option == "--height" && value >= kWindow) {
            height = value;
        } else {
            std::fprintf(stderr, "usage: bench_jpeg [--runs N] [--width W --height H]\n");
            return 2;
        }
    }

    const DemoScene scene(width, height, kDemoSeed);
    std::vector<std::uint8_t> bgr;
    scene.frameBgr(0, bgr);

    std::printf("JPEG decode, %d x %d demo frame (4:2:0), median of %d decodes from memory\n",
                width, height, runs);
    std::printf("%-8s %10s %12s %14s %9s %10s\n", "quality", "bytes", "full ms", "centre 256 ms",
                "speed-up", "identical");
    bool allSame = true;
    for (int quality : {70, 90, 95}) {
        std::vector<std::uint8_t> bytes;
        if (!EncodeToMemory(bgr, width, height, quality, bytes)) return 1;
        JpegImage full;
        JpegImage part;
        bool ok = true;
        std::string error;
        const double fullMs =
            MedianMs(runs, [&] { ok = full.loadMemory(bytes.data(), bytes.size(), error) && ok; });
        const double partMs = MedianMs(runs, [&] {
            ok = part.loadMemoryCentre(bytes.data(), bytes.size(), kWindow, kWindow, nullptr,
                                       error) &&
                 ok;
        });
        if (!ok) {
            std::fprintf(stderr, "bench_jpeg: decode failed: %s\n", error.c_str());
            return 1;
        }
        const bool same = SameAsFull(full, part);
        allSame = allSame && same;
        std::printf("%-8d %10zu %12.3f %14.3f %8.2fx %10s\n", quality, bytes.size(), fullMs, partMs,
                    fullMs / partMs, same ? "yes" : "NO");
    }
    return allSame ? 0 : 1;
}
