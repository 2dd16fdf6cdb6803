#pragma once
// What a batch run over a list of frames produces: every frame's characteristic in one table,
// the mean, largest and smallest curves, and which frames and which window mode the table
// belongs to.

#include "frame_ref.h"
#include "planes.h"
#include "window_mode.h"

#include <array>
#include <map>
#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

constexpr int kWindowSize = 256;   // the analysis window's side, N
constexpr int kProfileBins = 400;  // bins of a characteristic
constexpr int kTableBins = 256;    // rows of the profile table
constexpr int kMaxFiles = 4000;    // files a user may choose at one time
// Bins of each frame kept as computed, beside the table's truncated ones: what the normalised
// score and the band suggestion read. Below the ring that first leaves the window's square.
constexpr int kExactBins = 128;

// A frame a run left out (it could not be read, or was too small) at the user's choice: its
// column holds nothing and it counts in no curve and never passes.
struct LeftOutFrame {
    int index = -1;  // its list position
    FrameRef frame;
    std::string reason;  // the reader's short reason; empty for a frame that is too small
    int width = 0;       // for a frame that is too small: its size
    int height = 0;
};

struct AnalysisResults {
    IntPlane profileTable;  // [bin][frame], kTableBins x at least the frames of the run
    // The columns of frames whose values are not all integers, kept whole: the table holds
    // them truncated. Keyed by the frame's list position. Integer frames have none, unless
    // their bins pass the int range: their truncated bins are kept here, the table holding
    // them saturated.
    std::map<int, std::array<double, kTableBins>> exactColumns;
    // Bins 0..kExactBins-1 of every frame as computed, [frame * kExactBins + bin]; zero for a
    // frame left out. Floats: at 100,000 frames the table is already the run's largest part.
    std::vector<float> exactBins;

    double mean[kProfileBins] = {};      // over the analysed frames
    double largest[kProfileBins] = {};   // the frame with the largest total
    double smallest[kProfileBins] = {};  // the frame with the smallest total
    double largestTotal = 0;
    double smallestTotal = 0;  // infinity while a run has recorded no frame
    // The smallest and largest value in the analysed frames' windows: one grey scale for all
    // of them. Both 0 when no frame was analysed.
    double valueLow = 0;
    double valueHigh = 0;
    // The last frame analysed: the run's last frame, or the frame a list click showed.
    double frameProfile[kProfileBins] = {};

    // The frames whose columns hold results of a run that went to its end, in list order,
    // and the window mode of that run. Empty when no run has completed, or when the last
    // run stopped at a failing frame.
    std::vector<FrameRef> files;
    WindowMode mode = WindowMode::Centre;
    // Of those files, the ones left out, in list order.
    std::vector<LeftOutFrame> leftOut;
    // One FrameFlag set per file of a completed run, in list order (none for a left-out one).
    std::vector<std::uint8_t> flags;
};

// Allocates the table and the exact bins for `columns` frames, zero-filled. False with a reason
// when it cannot be had.
[[nodiscard]] bool CreateAnalysisResults(AnalysisResults& results, int columns, std::string& error);
// The same for kMaxFiles frames.
[[nodiscard]] bool CreateAnalysisResults(AnalysisResults& results, std::string& error);

// Keeps the rows of the files at the rising list positions `kept` only, renumbered from 0 in
// that order: their columns, exact bins, flags and left-out entries. The curves stay those of
// the run.
void KeepResultColumns(AnalysisResults& results, const std::vector<int>& kept);

}  // namespace framesifter
