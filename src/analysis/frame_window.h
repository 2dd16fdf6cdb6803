#pragma once
// Reads only what the analysis window needs from a frame file: in centre mode a FITS frame
// decodes just the window, and in peak mode its centroid is summed straight from the file's
// bytes. The window is the same as LoadFrameForAnalysis followed by TakeWindow gives.

#include "frame_reader.h"
#include "frame_ref.h"

#include <string>

namespace framesifter {

// Fills window[i][j] (N x N) for `frame`. width and height receive the frame's size when it
// could be read (also for TooSmall); error receives the reason for Unreadable.
[[nodiscard]] WindowRead ReadFrameWindow(const FrameRef& frame, WindowMode mode, int N,
                                         FrameReader& reader, IntPlane& window, int& width,
                                         int& height, std::string& error);
// The same on a file's bytes in memory; `extension` chooses the format. `bytes` may be
// reader.frame.fileBytes.
[[nodiscard]] WindowRead WindowFromMemory(const std::uint8_t* bytes, std::size_t size,
                                          const std::string& extension, WindowMode mode, int N,
                                          FrameReader& reader, IntPlane& window, int& width,
                                          int& height, std::string& error);

}  // namespace framesifter
