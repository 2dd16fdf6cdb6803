// Frames per second of one SER video against as many 16-bit FITS files of the same frames:
// reading the window alone on one thread (ReadFrameWindow), and the whole batch run
// (RunBatch), in both window modes.
//
// usage: bench_ser [--frames N] [--runs R] [--threads T]

#include "batch_run.h"
#include "large_buffers.h"
#include "fits_writer.h"
#include "frame_ref.h"
#include "frame_window.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace framesifter;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 640, kHeight = 480;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// A star that wanders over a noisy background, a different frame each time.
void Scene(int f, std::vector<std::uint16_t>& v) {
    const double bx = 320 + 150 * std::sin(f * 0.01), by = 240 + 100 * std::cos(f * 0.013);
    std::uint32_t noise = 2463534242u + std::uint32_t(f);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const double d2 = (x - bx) * (x - bx) + (y - by) * (y - by);
            v[std::size_t(y) * kWidth + x] =
                std::uint16_t(std::min(65535.0, 800 + 50000 * std::exp(-d2 / 400) + noise % 500));
        }
}

void Put(std::ofstream& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(char(std::uint8_t(v >> (8 * i))));
}

bool WriteFrames(const fs::path& root, int frames, std::string& video,
                 std::vector<std::string>& fits, std::string& error) {
    video = (root / "video.ser").string();
    std::ofstream out(video, std::ios::binary);
    out.write("LUCAM-RECORDER", 14);
    for (int v : {0, 0, 0, kWidth, kHeight, 16, frames}) Put(out, std::uint32_t(v), 4);
    out.write(std::string(3 * 40 + 16, '\0').data(), 3 * 40 + 16);
    std::vector<std::uint16_t> values(std::size_t(kWidth) * kHeight);
    std::vector<char> le(values.size() * 2);
    for (int f = 0; f < frames; ++f) {
        Scene(f, values);
        for (std::size_t i = 0; i < values.size(); ++i) {
            le[2 * i] = char(values[i] & 0xff);
            le[2 * i + 1] = char(values[i] >> 8);
        }
        out.write(le.data(), std::streamsize(le.size()));
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.fit", f + 1);
        fits.push_back((root / name).string());
        if (!WriteFits16(fits.back(), values.data(), kWidth, kHeight, error)) return false;
    }
    out.close();
    if (!out) error = "cannot write " + video;
    return bool(out);
}

// The best of `runs` timings of fn, after one run that brings the files into the page cache.
template <typename Fn>
double Best(int runs, Fn fn) {
    double best = 1e300;
    for (int r = 0; r <= runs; ++r) {
        const auto t0 = Clock::now();
        if (!fn()) std::exit(1);
        if (r > 0) best = std::min(best, Seconds(t0, Clock::now()));
    }
    return best;
}

bool ReadWindows(const std::vector<FrameRef>& frames, WindowMode mode) {
    static FrameReader reader;
    static IntPlane window;
    std::string error;
    if (window.empty() && !AllocIntPlane(kWindowSize, kWindowSize, window, error)) return false;
    for (const FrameRef& frame : frames) {
        int w = 0, h = 0;
        if (ReadFrameWindow(frame, mode, kWindowSize, reader, window, w, h, error) !=
            WindowRead::Ok) {
            std::fprintf(stderr, "bench_ser: %s: %s\n", FrameRefText(frame).c_str(), error.c_str());
            return false;
        }
    }
    return true;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_ser [--frames N] [--runs R] [--threads T]\n"
                 "  N frames (default 2000, at most 4000), best of R runs (default 3),\n"
                 "  T threads for the batch run (default 2).\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // As the programs do, so that the figures are theirs.
    ReturnLargeBuffersToTheSystem();
    int frames = 2000, runs = 3, threads = 2;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc || (arg != "--frames" && arg != "--runs" && arg != "--threads"))
            return Usage();
        char* end = nullptr;
        const long v = std::strtol(argv[++i], &end, 10);
        if (*end || v < 1 || v > kMaxFiles) return Usage();
        (arg == "--frames" ? frames : arg == "--runs" ? runs : threads) = int(v);
    }

    std::string pattern = (fs::temp_directory_path() / "fsbench-ser-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("bench_ser: temporary folder");
        return 1;
    }
    struct Cleanup {
        fs::path path;
        ~Cleanup() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } cleanup{pattern};

    std::string video, error;
    std::vector<std::string> fitsFiles;
    std::vector<FrameRef> fits, entries;
    if (!WriteFrames(cleanup.path, frames, video, fitsFiles, error) ||
        !ExpandFrameEntries({{video, 0}}, entries, error)) {
        std::fprintf(stderr, "bench_ser: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& file : fitsFiles) fits.push_back({file, 0});
    auto results = std::make_unique<AnalysisResults>();
    if (!CreateAnalysisResults(*results, error)) {
        std::fprintf(stderr, "bench_ser: %s\n", error.c_str());
        return 1;
    }

    std::printf(
        "%d frames of %d x %d, 16-bit mono: one SER video against %d FITS files; "
        "frames per second, best of %d runs\n\n",
        frames, kWidth, kHeight, frames, runs);
    std::printf("%-6s %-8s %16s %22s\n", "mode", "source", "window, 1 thread",
                ("batch run, " + std::to_string(threads) + " threads").c_str());
    for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
        for (const auto* list : {&entries, &fits}) {
            const double window = Best(runs, [&] { return ReadWindows(*list, mode); });
            const double batch = Best(runs, [&] {
                const BatchResult r = RunBatch(*results, *list, mode, nullptr, threads);
                if (r.status != BatchStatus::Completed)
                    std::fprintf(stderr, "bench_ser: stopped at %s: %s\n",
                                 FrameRefText(r.failedFrame).c_str(), r.reason.c_str());
                return r.status == BatchStatus::Completed;
            });
            std::printf("%-6s %-8s %16.0f %22.0f\n", mode == WindowMode::Centre ? "centre" : "peak",
                        list == &entries ? "SER" : "FITS", frames / window, frames / batch);
            std::fflush(stdout);
        }
    }
    return 0;
}
