#pragma once
// Frame lists in tests, written as the text a user gives ("PATH#N" for a video's frame).

#include "frame_ref.h"

#include <ostream>
#include <string>
#include <vector>

inline std::vector<framesifter::FrameRef> FrameRefs(const std::vector<std::string>& texts) {
    std::vector<framesifter::FrameRef> frames;
    frames.reserve(texts.size());
    for (const std::string& text : texts) frames.push_back(framesifter::ParseFrameRef(text));
    return frames;
}

inline std::vector<std::string> FrameTexts(const std::vector<framesifter::FrameRef>& frames) {
    std::vector<std::string> texts;
    texts.reserve(frames.size());
    for (const framesifter::FrameRef& frame : frames)
        texts.push_back(framesifter::FrameRefText(frame));
    return texts;
}

namespace framesifter {
// A failed expectation shows a frame as its text.
inline void PrintTo(const FrameRef& frame, std::ostream* out) { *out << FrameRefText(frame); }
}  // namespace framesifter
