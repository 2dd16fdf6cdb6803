#pragma once
// The analysis window of one frame of a SER video, read from the video's header and the
// rows the window needs. Mono and Bayer frames take the FITS rule in peak mode (the
// intensity centroid), colour frames the bitmap rule (the brightest green sample).

#include "byte_source.h"
#include "frame_reader.h"

namespace framesifter {

// `frame` counts from 1, as in the entry "PATH#N".
[[nodiscard]] WindowRead SerWindowFromSource(const ByteSource& source, int frame, WindowMode mode,
                                             int N, FrameReader& reader, IntPlane& window,
                                             int& width, int& height, std::string& error);

}  // namespace framesifter
