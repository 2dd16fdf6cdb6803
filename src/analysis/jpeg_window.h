#pragma once
// The analysis window of a JPEG frame: in centre mode only the window's region is decoded.

#include "byte_source.h"
#include "frame_window.h"

WindowRead JpegWindowFromSource(const ByteSource& source, WindowMode mode, int N,
                                FrameReader& reader, IntPlane& window, int& width, int& height,
                                std::string& error);
