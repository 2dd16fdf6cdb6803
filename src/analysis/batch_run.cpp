#include "batch_run.h"

#include "frame_window.h"

#include <algorithm>

namespace {

void ResetRun(SelectorState& state, int count) {
    for (int b = 0; b < kProfileBins; ++b) {
        state.ProfileAvg[b] = 0;
        state.ProfileMax[b] = 0;
        state.ProfileMin[b] = 1.0e8;
    }
    state.TotalMax = 0;
    state.TotalMin = 1.0e10;
    for (int b = 0; b < kTableBins; ++b) std::fill_n(state.ProfileTable[b], count, 0);
}

void RecordFrame(SelectorState& state, int k, int count) {
    for (int b = 0; b < kTableBins; ++b) state.ProfileTable[b][k] = int(state.Profile[b]);
    state.ProfileTotal = 0;
    for (int b = 0; b < kTableBins; ++b) state.ProfileTotal += state.Profile[b];
    for (int b = 0; b < kProfileBins; ++b) state.ProfileAvg[b] += state.Profile[b] / count;
    if (!(state.TotalMax >= state.ProfileTotal)) {
        state.TotalMax = state.ProfileTotal;
        std::copy_n(state.Profile, kProfileBins, state.ProfileMax);
    }
    if (state.TotalMin > state.ProfileTotal) {
        state.TotalMin = state.ProfileTotal;
        std::copy_n(state.Profile, kProfileBins, state.ProfileMin);
    }
}

}  // namespace

BatchResult RunBatch(SelectorState& state, const std::vector<std::string>& paths,
                     WindowMode mode, ProgressSink* progress) {
    BatchResult result;
    const int count = int(std::min<std::size_t>(paths.size(), kMaxFiles + 1));
    if (count == 0) return result;
    if (count > kMaxFiles) {
        result.status = BatchStatus::TooMany;
        return result;
    }
    state.AnalysedFiles.clear();
    BuildFftTables(state);
    ResetRun(state, count);

    FrameReader reader;
    const int N = state.FftSize;
    for (int k = 0; k < count; ++k) {
        if (progress) progress->setPosition(int(double(k) / count * 100));
        const std::string& path = paths[std::size_t(k)];
        int width = 0, height = 0;
        std::string error;
        const WindowRead read =
            ReadFrameWindow(path, mode, N, reader, state.FrameWindow, width, height, error);
        if (read != WindowRead::Ok) {
            result.status =
                read == WindowRead::TooSmall ? BatchStatus::TooSmall : BatchStatus::Unreadable;
            result.failedIndex = k;
            result.failedPath = path;
            result.reason = error;
            result.width = width;
            result.height = height;
            return result;
        }
        AnalyseFrame(state);
        RecordFrame(state, k, count);
    }
    if (progress) progress->setPosition(0);
    state.AnalysedFiles = paths;
    result.status = BatchStatus::Completed;
    return result;
}

int AnalyseSingleFrame(SelectorState& state, const std::string& path, WindowMode mode,
                       FrameReader& reader, std::string& error) {
    const int N = state.FftSize;
    IntPlane window;
    int width = 0, height = 0;
    WindowRead read = WindowRead::Unreadable;
    if (AllocIntPlane(N, N, window) != 0)
        error = "not enough memory";
    else
        read = ReadFrameWindow(path, mode, N, reader, window, width, height, error);
    if (read == WindowRead::TooSmall) {
        error = "the frame is " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels; at least " + std::to_string(N) + " x " + std::to_string(N) +
                " are needed";
    }
    if (read != WindowRead::Ok) return 1;
    if (!state.TablesBuilt) BuildFftTables(state);
    std::swap(state.FrameWindow, window);
    AnalyseFrame(state);
    return 0;
}
