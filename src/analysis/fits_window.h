#pragma once
// The analysis window of a FITS frame, read from the file's header and the rows it needs.

#include "byte_source.h"
#include "frame_reader.h"

namespace framesifter {

[[nodiscard]] WindowRead FitsWindowFromSource(const ByteSource& source, WindowMode mode, int N,
                                              FrameReader& reader, IntPlane& window, int& width,
                                              int& height, std::string& error);

}  // namespace framesifter
