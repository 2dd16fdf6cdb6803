#pragma once
// The analysis window's reader of each frame format, keyed by the format table's enum: a
// still file's reader takes its bytes, a video's reader takes the video and a frame number.

#include "byte_source.h"
#include "frame_formats.h"
#include "frame_reader.h"

#include <string>

namespace framesifter {

struct WindowReaderRow {
    WindowRead (*still)(const ByteSource& source, WindowMode mode, int N, FrameReader& reader,
                        IntPlane& window, int& width, int& height, std::string& error) = nullptr;
    // `frame` counts from 1.
    WindowRead (*video)(const ByteSource& source, int frame, WindowMode mode, int N,
                        FrameReader& reader, IntPlane& window, int& width, int& height,
                        std::string& error) = nullptr;
};

// Null readers for Unknown.
const WindowReaderRow& WindowReaderOf(FrameFormat format);

}  // namespace framesifter
