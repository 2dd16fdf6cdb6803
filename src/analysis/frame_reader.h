#pragma once
// What the window readers of every format share: the reader state kept from frame to frame
// and the outcome of one read.

#include "frame_border.h"
#include "memory_budget.h"
#include "open_videos.h"
#include "window_corner.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace framesifter {

// What one reader keeps from frame to frame: the decoder, the decoded frame, the file's
// bytes and a scratch buffer for parts of a file. One per thread. `hold` is what the frame
// being read holds of the run's memory budget (none: no limit); it is given back, and
// buffers larger than a frame window are freed, after each frame.
struct FrameReader {
    JpegImage decoder;
    Frame frame;
    std::vector<std::uint8_t> scratch;
    // An image of a FITS file in memory holding only the bytes its window needs, for cfitsio.
    std::vector<std::uint8_t> fileImage;
    BudgetHold hold;
    // The largest value the last frame's format can hold: 255 for 8-bit samples, 65535 for
    // 16-bit video samples, the largest BZERO-folded word for 16-bit FITS (65535 for BZERO 0
    // or 32768), INT32_MAX (never reached) for other FITS samples.
    int sampleCeiling = 255;
    // Set by the last read when the frame's window holds values that are not all integers
    // within the int range: the window is then realWindow (N x N, [i * N + j] = column i,
    // row j) and the int window is left alone.
    bool real = false;
    std::vector<double> realWindow;
    std::vector<double> realRows;  // rows of such a frame, read a band at a time
    // The last frame's edges in the window's values, gathered by a peak-mode read (which
    // passes every row); none in centre mode.
    FrameBorder border;
    // A run's videos, shared by its readers (none: each frame opens its video itself), and the
    // one the frame being read belongs to, whose header its reader takes as read.
    OpenVideos* videos = nullptr;
    std::shared_ptr<const OpenVideo> video;
    // How large a buffer may stay from one frame to the next (each of them; beyond the memory
    // budget, which counts a frame's buffers only while it is read).
    std::size_t keptBufferBytes = std::size_t(4) << 20;
};

enum class WindowRead { Ok, Unreadable, TooSmall };

}  // namespace framesifter
