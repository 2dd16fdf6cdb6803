// Times the batch analysis run on generated frames, per file format and window mode:
// frames per second end to end (RunBatch, all threads), and where one frame's time goes on
// one thread: reading the file and its window (ReadFrameWindow), and the transform with the
// profile (FastProfiler).
//
// usage: bench_batch [--frames N] [--runs R] [--keep DIR]

#include "batch_run.h"
#include "large_buffers.h"
#include "demo_frames.h"
#include "fast_profile.h"
#include "fits_writer.h"
#include "frame_ref.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace framesifter;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

struct Format {
    const char* label;
    FrameFormat format;
    int width, height;
};

struct Split {
    double read = 0, profile = 0;
    double total() const { return read + profile; }
};

// One worker's per-frame steps, each timed on its own, on this thread.
bool TimeSteps(const std::vector<std::string>& paths, WindowMode mode, Split& split) {
    FrameReader reader;
    FastProfiler profiler;
    IntPlane window;
    double profile[kProfileBins];
    std::string error;
    if (!AllocIntPlane(kWindowSize, kWindowSize, window, error)) return false;
    for (const std::string& path : paths) {
        int width = 0, height = 0;
        const auto t0 = Clock::now();
        if (ReadFrameWindow(ParseFrameRef(path), mode, kWindowSize, reader, window, width, height,
                            error) != WindowRead::Ok) {
            std::fprintf(stderr, "bench_batch: %s: %s\n", path.c_str(), error.c_str());
            return false;
        }
        const auto t1 = Clock::now();
        profiler.compute(window.data(), profile);
        const auto t2 = Clock::now();
        split.read += Seconds(t0, t1);
        split.profile += Seconds(t1, t2);
    }
    return true;
}

std::string CpuName() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            const auto colon = line.find(':');
            if (colon != std::string::npos) return line.substr(colon + 2);
        }
    }
    return "unknown processor";
}

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_batch [--frames N] [--runs R] [--keep DIR]\n"
                 "  N frames per format (default 100), best of R runs (default 3);\n"
                 "  --keep writes the frames into DIR (which must not exist) and keeps them.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // As the programs do, so that the figures are theirs.
    ReturnLargeBuffersToTheSystem();
    int frames = 100, runs = 3;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--frames" || arg == "--runs" || arg == "--keep") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--keep") {
                keep = value;
                continue;
            }
            char* end = nullptr;
            const long v = std::strtol(value.c_str(), &end, 10);
            if (*end || v < 1 || v > (arg == "--frames" ? kMaxFiles : 100)) return Usage();
            (arg == "--frames" ? frames : runs) = int(v);
        } else {
            return Usage();
        }
    }

    fs::path root;
    if (!keep.empty()) {
        if (fs::exists(keep)) {
            std::fprintf(stderr, "bench_batch: %s exists; give a new folder\n", keep.c_str());
            return 1;
        }
        root = keep;
    } else {
        std::string pattern = (fs::temp_directory_path() / "fsbench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("bench_batch: temporary folder");
            return 1;
        }
        root = pattern;
    }
    struct Cleanup {
        fs::path path;
        ~Cleanup() {
            std::error_code ec;
            if (!path.empty()) fs::remove_all(path, ec);
        }
    } cleanup{keep.empty() ? root : fs::path()};

    const Format formats[] = {{"FITS 16-bit", FrameFormat::Fits, 640, 480},
                              {"BMP 24-bit", FrameFormat::Bmp, 640, 480},
                              {"JPEG q90", FrameFormat::Jpeg, 1280, 960}};

    auto results = std::make_unique<AnalysisResults>();
    std::string error;
    if (!CreateAnalysisResults(*results, error)) {
        std::fprintf(stderr, "bench_batch: %s\n", error.c_str());
        return 1;
    }

    std::printf("FrameSifter batch run: %d frames per format, best of %d runs, on %s\n", frames,
                runs, CpuName().c_str());
    std::printf("Split: milliseconds per frame on one thread (share of the two steps).\n\n");
    std::printf("%-12s %-9s %-6s %9s %9s | %16s %18s\n", "format", "size", "mode", "frames/s",
                "ms/frame", "read + window", "transform+profile");

    for (const Format& f : formats) {
        DemoOptions options;
        options.count = frames;
        options.width = f.width;
        options.height = f.height;
        options.format = f.format;
        const fs::path dir = root / DemoExtension(f.format);
        std::vector<std::string> paths;
        std::string error;
        const auto g0 = Clock::now();
        if (!WriteDemoSequence(dir.string(), options, nullptr, paths, error)) {
            std::fprintf(stderr, "bench_batch: %s\n", error.c_str());
            return 1;
        }
        const double generation = Seconds(g0, Clock::now());
        std::vector<FrameRef> list;
        for (const std::string& path : paths) list.push_back({path, 0});

        for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
            // The first run also brings the files into the page cache.
            double best = 1e300;
            for (int r = 0; r <= runs; ++r) {
                const auto t0 = Clock::now();
                const BatchResult result = RunBatch(*results, list, mode, nullptr);
                const double s = Seconds(t0, Clock::now());
                if (result.status != BatchStatus::Completed) {
                    std::fprintf(stderr, "bench_batch: run stopped at %s: %s\n",
                                 FrameRefText(result.failedFrame).c_str(), result.reason.c_str());
                    return 1;
                }
                if (r > 0) best = std::min(best, s);
            }
            Split bestSplit;
            double bestSplitTotal = 1e300;
            for (int r = 0; r < runs; ++r) {
                Split split;
                if (!TimeSteps(paths, mode, split)) return 1;
                if (split.total() < bestSplitTotal) {
                    bestSplitTotal = split.total();
                    bestSplit = split;
                }
            }
            auto cell = [&](double s) {
                char text[32];
                std::snprintf(text, sizeof text, "%6.3f (%3.0f%%)", s * 1000 / frames,
                              100 * s / bestSplit.total());
                return std::string(text);
            };
            char size[16];
            std::snprintf(size, sizeof size, "%dx%d", f.width, f.height);
            std::printf("%-12s %-9s %-6s %9.1f %9.3f | %16s %18s\n", f.label, size,
                        mode == WindowMode::Centre ? "centre" : "peak", frames / best,
                        best * 1000 / frames, cell(bestSplit.read).c_str(),
                        cell(bestSplit.profile).c_str());
            std::fflush(stdout);
        }
        std::uintmax_t bytes = 0;
        for (const std::string& p : paths) bytes += fs::file_size(p);
        std::printf("%-12s generated in %.1f s, %.0f KiB per file\n", "", generation,
                    double(bytes) / 1024 / frames);
    }
    if (!keep.empty()) std::printf("\nframes kept in %s\n", keep.c_str());
    return 0;
}
