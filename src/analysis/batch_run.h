#pragma once
// The batch analysis run over a list of frames: every frame's characteristic goes into
// its column of ProfileTable, and the mean, largest and smallest curves are built.

#include "characteristic.h"
#include "frame_window.h"
#include "progress.h"

#include <string>
#include <vector>

enum class BatchStatus {
    Empty,       // no files: nothing changed
    Completed,   // every frame analysed
    TooSmall,    // frame failedIndex is smaller than N x N; the run stopped there
    Unreadable,  // frame failedIndex could not be read; the run stopped there
    TooMany,     // more than kMaxFiles paths: nothing changed
};

struct BatchResult {
    BatchStatus status = BatchStatus::Empty;
    int failedIndex = -1;
    std::string failedPath;
    std::string reason;   // for Unreadable: the reader's short reason
    int width = 0;        // for TooSmall: the frame's size
    int height = 0;
};

// Runs over paths in order (at most kMaxFiles). progress->setPosition(k * 100 / count)
// is called, from the calling thread, before frame k's result is taken. Stops at the first
// frame that cannot be read or is too small: the frames before it keep their results,
// nothing after it is recorded. Frames are read and analysed by `threads` worker threads
// (0: one per processor); the results do not depend on the number.
// On completion the position goes back to 0 and state.AnalysedFiles = paths; otherwise
// AnalysedFiles is left empty and the position stays where the run stopped.
BatchResult RunBatch(SelectorState& state, const std::vector<std::string>& paths,
                     WindowMode mode, ProgressSink* progress, int threads = 0);

// v truncated toward zero, held within the int range (NaN gives 0): profile bins of
// frames with very large values must not overflow the table.
int SaturateToInt(double v);

// Reads and analyses one frame into state.Profile (a list click). Returns 0, or 1 with
// `error` when the frame cannot be read or is smaller than N x N; the state is then
// unchanged.
int AnalyseSingleFrame(SelectorState& state, const std::string& path, WindowMode mode,
                       FrameReader& reader, std::string& error);
