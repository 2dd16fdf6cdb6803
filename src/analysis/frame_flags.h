#pragma once
// Marks for frames whose score the frequency band cannot be trusted on: noise and damage raise
// it, clouds lower the whole frame. Each frame's window is measured on the thread that read
// it; the marks that compare frames with one another are set once the run has every frame.

#include "frame_border.h"
#include "planes.h"
#include "window_tally.h"
#include "window_mode.h"

#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

struct MixedFrames;

enum FrameFlag : std::uint8_t {
    kFlagSaturated = 1,   // too many window pixels at the format's largest value
    kFlagEdge = 2,        // peak mode: the object is cut by the frame's edge or the window's
    kFlagBrightness = 4,  // the window's mean lies far from the sequence's
    kFlagDuplicate = 8,   // the same window as the previous frame in the list
    kFlagOdd = 16,        // another kind, size or depth than most of the list
};
constexpr int kFlagCount = 5;

// A share of the window's pixels above which it counts as saturated (0.1 %).
constexpr double kSaturatedShare = 0.001;
// Peak mode: the window's outer ring this many pixels wide, and the share of the window's
// brightness above its median that the ring may carry before the object counts as cut.
constexpr int kEdgeRing = 8;
constexpr double kEdgeShare = 0.25;
// Peak mode, the frame's own edge: the object lies on it when its body along the frame's
// outermost rows or columns spans this many times the square root of its area in the window
// (for a disc, a chord of about its radius: a cut of about 3 % of its area).
constexpr double kEdgeSpan = 0.6;
// Whether most frames show an edge mark is judged with this share of its threshold, so that
// a sequence sitting near one (the Moon filling the frame) is not marked in the frames that
// happen to cross it.
constexpr double kEdgeNear = 0.5;
// A mean farther from the sequence's median than this many robust deviations (1.4826 x MAD,
// at least 1 % of the median) is an outlier; fewer analysed frames than kBrightnessFrames
// give no outliers.
constexpr double kBrightnessDeviations = 5.0;
constexpr int kBrightnessFrames = 5;

// What one window tells before it is compared with the others.
struct WindowFacts {
    bool measured = false;  // false for a frame left out
    bool saturated = false;
    // Peak mode: the share of the window's brightness above its median in its outer ring
    // (kEdgeRing, kEdgeShare), and how far the object runs along the frame's edge (kEdgeSpan;
    // 0 without an object or without the frame's edge).
    double ringShare = 0;
    double edgeSpan = 0;
    double mean = 0;
    std::uint64_t hash = 0;  // of every pixel value, for duplicates
};

// What measuring a peak-mode window needs beyond the window, kept from frame to frame.
struct FactsScratch {
    std::vector<double> values;
    std::vector<std::uint32_t> counts;
};

// The facts of a window whose tally is known (the fast profiler gathers it with the
// transform): centre mode takes them from the tally alone; peak mode also measures the edges,
// from the window. `ceiling` is the largest value the frame's format can hold; `border` is the
// frame's edge in the window's values (not gathered: no frame-edge fact).
WindowFacts WindowFactsOf(const WindowTally& tally, const IntPlane& window, int N, int ceiling,
                          WindowMode mode, const FrameBorder& border, FactsScratch& scratch);
// The same for a window of values that are not all integers ([i * N + j] = column i, row j):
// such samples have no full scale, so it is never saturated.
WindowFacts WindowFactsOf(const WindowTally& tally, const double* window, int N, WindowMode mode,
                          const FrameBorder& border, FactsScratch& scratch);

// The same with the tally taken here (TallyWindow).
WindowFacts MeasureWindow(const IntPlane& window, int N, int ceiling, WindowMode mode,
                          const FrameBorder& border);
WindowFacts MeasureRealWindow(const double* window, int N, WindowMode mode,
                              const FrameBorder& border);

// One mark set per frame, in list order, from the facts of every frame of a run. An edge
// fact that most measured frames (nearly) share is the sequence's framing (the Moon filling
// the frame, a disc larger than the window), not a fault: it marks none of them.
std::vector<std::uint8_t> FlagFrames(const std::vector<WindowFacts>& facts);

// Adds kFlagOdd to the frames a signature check found to differ.
void MarkOddFrames(std::vector<std::uint8_t>& flags, const MixedFrames& mixed);

// "saturated;edge", empty for none: the CSV form.
std::string FlagNames(std::uint8_t flags);

}  // namespace framesifter
