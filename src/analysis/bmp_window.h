#pragma once
// The analysis window of a BMP frame, read from the file's headers and the rows it needs.

#include "byte_source.h"
#include "frame_reader.h"

namespace framesifter {

[[nodiscard]] WindowRead BmpWindowFromSource(const ByteSource& source, WindowMode mode, int N,
                                             FrameReader& reader, IntPlane& window, int& width,
                                             int& height, std::string& error);

}  // namespace framesifter
