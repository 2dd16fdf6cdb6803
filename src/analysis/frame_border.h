#pragma once
// The frame's outermost rows and columns, gathered while a peak-mode reader passes every row
// anyway: what lies on the frame's own edge, wherever the window was placed. The window alone
// cannot tell, because a centroid pulled in by the sky, or a peak far from the cut, leaves
// the window short of the frame's edge.

#include <cstddef>
#include <vector>

namespace framesifter {

enum class FrameSide { Top, Bottom, Left, Right };

class FrameBorder {
public:
    // Each strip is kDepth pixels deep, so that an object must reach the frame's last two
    // rows or columns to lie on its edge, and is summed along the edge in blocks of kLength.
    static constexpr int kDepth = 2;
    static constexpr int kLength = 8;
    // Samples are summed scaled by this power of two (exactly): a block holds half its
    // samples' mean, finite even for the largest doubles.
    static constexpr double kScale = 0.5 / (kDepth * kLength);

    // No strips until the next start().
    void clear() { gathered_ = false; }
    // Begins a frame of width x height (both at least kLength); each of its rows is then
    // offered once, in any order. Up to kLength - 1 pixels at the end of an edge that do not
    // fill a block are left out.
    void start(int width, int height);
    bool gathered() const { return gathered_; }

    // Row y's samples at(0) .. at(width - 1).
    template <typename At>
    void offerRow(int y, At at) {
        if (!gathered_) return;
        if (y < kDepth) AddAlong(top_, at);
        if (y >= height_ - kDepth) AddAlong(bottom_, at);
        const std::size_t b = std::size_t(y / kLength);
        if (y < 0 || b >= left_.size()) return;
        double left = 0, right = 0;
        for (int x = 0; x < kDepth; ++x) {
            left += double(at(x)) * kScale;
            right += double(at(width_ - kDepth + x)) * kScale;
        }
        left_[b] += left;
        right_[b] += right;
    }

    // One edge's block sums, from the frame's top-left corner along the edge.
    const std::vector<double>& blocks(FrameSide side) const;

private:
    template <typename At>
    void AddAlong(std::vector<double>& strip, At at) {
        for (std::size_t b = 0; b < strip.size(); ++b) {
            const int x0 = int(b) * kLength;
            double sum = 0;
            for (int x = x0; x < x0 + kLength; ++x) sum += double(at(x)) * kScale;
            strip[b] += sum;
        }
    }

    int width_ = 0;
    int height_ = 0;
    bool gathered_ = false;
    std::vector<double> top_, bottom_, left_, right_;
};

}  // namespace framesifter
