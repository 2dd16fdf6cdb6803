#pragma once
// Reads only what the analysis window needs from a frame file: in centre mode a FITS frame
// decodes just the window, and in peak mode its centroid is summed straight from the file's
// bytes. The window is the same as LoadFrameForAnalysis followed by TakeWindow gives.

#include "window_corner.h"
#include "memory_budget.h"

#include <string>

namespace framesifter {

// What one reader keeps from frame to frame: the decoder, the decoded frame, the file's
// bytes and a scratch buffer for parts of a file. One per thread. `hold` is what the frame
// being read holds of the run's memory budget (none: no limit); it is given back, and
// buffers larger than a frame window are freed, after each frame.
struct FrameReader {
    JpegImage decoder;
    Frame frame;
    std::vector<std::uint8_t> scratch;
    BudgetHold hold;
    // Set by the last read when the frame's window holds values that are not all integers
    // within the int range: the window is then realWindow (N x N, [i * N + j] = column i,
    // row j) and the int window is left alone.
    bool real = false;
    std::vector<double> realWindow;
    std::vector<double> realRows;  // rows of such a frame, read a band at a time
};

enum class WindowRead { Ok, Unreadable, TooSmall };

// Fills window[i][j] (N x N) for the frame at `path`. width and height receive the frame's
// size when it could be read (also for TooSmall); error receives the reason for Unreadable.
WindowRead ReadFrameWindow(const std::string& path, WindowMode mode, int N, FrameReader& reader,
                           IntPlane& window, int& width, int& height, std::string& error);
// The same on a file's bytes in memory; `extension` chooses the format. `bytes` may be
// reader.frame.fileBytes.
WindowRead WindowFromMemory(const std::uint8_t* bytes, std::size_t size,
                            const std::string& extension, WindowMode mode, int N,
                            FrameReader& reader, IntPlane& window, int& width, int& height,
                            std::string& error);

}  // namespace framesifter
