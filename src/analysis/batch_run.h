#pragma once
// The batch analysis run over a list of frames: every frame's characteristic goes into
// its column of the profile table, and the mean, largest and smallest curves are built.

#include "analysis_results.h"
#include "fft_plan.h"
#include "frame_window.h"
#include "progress.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace framesifter {

enum class BatchStatus {
    Empty,       // no files: nothing changed
    Completed,   // every frame analysed
    TooSmall,    // frame failedIndex is smaller than N x N; the run stopped there
    Unreadable,  // frame failedIndex could not be read; the run stopped there
    TooMany,     // more than kMaxFrameEntries paths: nothing changed
    Stopped,     // a stop was asked for before the run's end
    NoMemory,    // no room for the results table (the old one is gone); reason says so
};

struct BatchResult {
    BatchStatus status = BatchStatus::Empty;
    int failedIndex = -1;
    FrameRef failedFrame;
    // For Unreadable: the reader's short reason; for NoMemory: why the results table did not fit.
    std::string reason;
    int width = 0;  // for TooSmall: the frame's size
    int height = 0;
};

// How a caller steers a run from outside. requestStop may come from any thread.
class BatchControl {
public:
    void requestStop() { stop_.store(true); }
    bool stopRequested() const { return stop_.load(); }
    // Asked on the run's calling thread, once per run, at its first frame that cannot be read
    // or is too small (described as a failed run would be). True: that frame and every later
    // such frame are left out and the run goes on; false, or no decision: the run stops there.
    std::function<bool(const BatchResult& badFrame)> leaveOut;
    // Called on the thread that reads frame `index`, before it reads it: lets a test hold a
    // run where it wants it.
    std::function<void(int index)> beforeRead;
    // The run's smallest and largest window values (results.valueLow / valueHigh), the grey
    // scale its frames are shown on; off, they are 0. They cost a look at every window value,
    // which a run whose frames are not shown need not pay.
    bool valueRange = false;

private:
    std::atomic<bool> stop_{false};
};

// Runs over frames in order (at most kMaxFrameEntries); a table with fewer columns than
// frames is replaced by one of their number (NoMemory when there is not enough memory for
// it). progress->setPosition(k * 100 / count)
// is called, from the calling thread, before frame k's result is taken. Stops at the first
// frame that cannot be read or is too small: the frames before it keep their results,
// nothing after it is recorded. Frames are read and analysed by `threads` worker threads
// (0: one per processor); the results do not depend on the number.
// The window is kWindowSize on a side. On completion the position goes back to 0 and
// results.files = frames, results.mode = mode; otherwise files is left empty and the position
// stays where the run stopped. results.frameProfile is the last frame analysed.
// With a control, a stop is seen between frames (the frames being read are finished first,
// none is started after it): the run ends Stopped, files empty, the position back at 0.
// Frames left out are listed in results.leftOut; the run then completes over the others,
// and with every frame left out it completes with flat zero curves. A completed run sets
// results.flags (FlagFrames) for every frame but kFlagOdd, which the caller's signature
// check adds (MarkOddFrames).
BatchResult RunBatch(AnalysisResults& results, const std::vector<FrameRef>& frames, WindowMode mode,
                     ProgressSink* progress, int threads = 0, BatchControl* control = nullptr);

// v truncated toward zero, held within the int range (NaN gives 0): profile bins of
// frames with very large values must not overflow the table.
int SaturateToInt(double v);

// Reads one frame and analyses its window (N = plan.size()) the straightforward way into
// profile[0..kProfileBins-1] (a list click). False with `error` when the frame cannot be read
// or is smaller than N x N; profile is then unchanged.
[[nodiscard]] bool AnalyseSingleFrame(const FrameRef& frame, WindowMode mode, const FftPlan& plan,
                                      FrameReader& reader, double* profile, std::string& error);

}  // namespace framesifter
