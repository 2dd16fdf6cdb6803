// The suggested band against the default 25-50 on demo sequences whose blur is known: the
// Spearman rank correlation of each band's scores with sharpness, and the time the
// suggestion takes.
//
// usage: bench_band [--frames N] [--dump DIR]   (--dump writes each case's table as CSV:
// minus the blur, then bins 0..255, a row per frame)

#include "band_suggestion.h"
#include "frame_scores.h"
#include "batch_run.h"
#include "large_buffers.h"
#include "demo_frames.h"
#include "frame_ref.h"
#include "ranking.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <string>
#include <vector>

using namespace framesifter;
namespace fs = std::filesystem;

namespace {

struct Case {
    const char* label;
    FrameFormat format;
    int width, height;
    DemoLook look;
};

void Dump(const std::string& path, const AnalysisResults& results, int count,
          const std::vector<double>& sharpness) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return;
    for (int k = 0; k < count; ++k) {
        std::fprintf(f, "%.6f", sharpness[std::size_t(k)]);
        for (int b = 0; b < kTableBins; ++b) std::fprintf(f, ",%d", results.profileTable[b][k]);
        std::fputc('\n', f);
    }
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    // As the programs do, so that the figures are theirs.
    ReturnLargeBuffersToTheSystem();
    int frames = 1000;
    std::string dump;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--frames") == 0) frames = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--dump") == 0) dump = argv[i + 1];
    }
    const Case cases[] = {
        {"planet FITS", FrameFormat::Fits, 640, 480, {}},
        {"planet BMP", FrameFormat::Bmp, 640, 480, {}},
        {"planet JPEG", FrameFormat::Jpeg, 640, 480, {}},
        {"planet FITS, 4x noise",
         FrameFormat::Fits,
         640,
         480,
         {DemoSubject::Planet, DemoBlur::Gaussian, 4}},
        {"small planet BMP", FrameFormat::Bmp, 320, 256, {}},
        {"large planet FITS", FrameFormat::Fits, 1280, 960, {}},
        {"planet BMP, box blur",
         FrameFormat::Bmp,
         640,
         480,
         {DemoSubject::Planet, DemoBlur::Box, 1}},
        {"texture JPEG",
         FrameFormat::Jpeg,
         640,
         480,
         {DemoSubject::Texture, DemoBlur::Gaussian, 1}},
        {"texture FITS, 4x noise",
         FrameFormat::Fits,
         640,
         480,
         {DemoSubject::Texture, DemoBlur::Gaussian, 4}},
    };
    const fs::path scratch = fs::temp_directory_path() / ("bench_band-" + std::to_string(getpid()));
    std::printf("%-26s %6s %10s %10s %10s %9s\n", "case", "frames", "25-50", "suggested", "rho",
                "ms/4000");
    int index = 0;
    for (const Case& c : cases) {
        const fs::path dir = scratch / std::to_string(index++);
        DemoOptions options;
        options.count = frames;
        options.width = c.width;
        options.height = c.height;
        options.format = c.format;
        options.look = c.look;
        std::vector<std::string> paths;
        std::string error;
        AnalysisResults results;
        if (!WriteDemoSequence(dir.string(), options, nullptr, paths, error) ||
            !CreateAnalysisResults(results, frames, error)) {
            std::fprintf(stderr, "bench_band: %s\n", error.c_str());
            return 1;
        }
        std::vector<FrameRef> list;
        for (const std::string& path : paths) list.push_back({path, 0});
        if (RunBatch(results, list, WindowMode::Centre, nullptr).status != BatchStatus::Completed) {
            std::fprintf(stderr, "bench_band: the run over %s failed\n", c.label);
            return 1;
        }
        fs::remove_all(dir);
        std::vector<double> sharpness;
        for (int k = 0; k < frames; ++k)
            sharpness.push_back(-DemoFrameParameters(options.seed, k).blurSigma);
        const BandSuggestion suggestion = SuggestBand(results.profileTable, frames);
        // The time for the most frames a list holds: this run's columns over and over.
        IntPlane most;
        if (!most.allocate(kTableBins, kMaxFiles)) return 1;
        for (int b = 0; b < kTableBins; ++b)
            for (int k = 0; k < kMaxFiles; ++k) most[b][k] = results.profileTable[b][k % frames];
        const auto t0 = std::chrono::steady_clock::now();
        SuggestBand(most, kMaxFiles);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        const double fixed =
            RankCorrelation(BandScores(results.profileTable, frames, Band{}), sharpness);
        const double chosen =
            RankCorrelation(BandScores(results.profileTable, frames, suggestion.band), sharpness);
        char band[32];
        std::snprintf(band, sizeof band, "%d-%d", suggestion.band.low, suggestion.band.high);
        std::printf("%-26s %6d %10.4f %10s %10.4f %9.2f\n", c.label, frames, fixed, band, chosen,
                    ms);
        std::fflush(stdout);
        if (!dump.empty())
            Dump(dump + "/case" + std::to_string(index - 1) + ".csv", results, frames, sharpness);
    }
    fs::remove_all(scratch);
    return 0;
}
