#pragma once
// The analysis window of a JPEG frame: in centre mode only the window's region is decoded;
// in peak mode the rows pass once through the search for the brightest green pixel and only
// their green channel is kept. What the decode allocates is held from the reader's budget
// first.

#include "byte_source.h"
#include "frame_reader.h"

namespace framesifter {

[[nodiscard]] WindowRead JpegWindowFromSource(const ByteSource& source, WindowMode mode, int N,
                                              FrameReader& reader, IntPlane& window, int& width,
                                              int& height, std::string& error);

}  // namespace framesifter
