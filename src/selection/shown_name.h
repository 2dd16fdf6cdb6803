#pragma once
// How windows name a frame: the file name, "video.ser #N" for a video's frame (files and the
// command line keep PATH#N), and the same cut short to a width in its middle, so that both
// the name's start and the frame number stay in sight.

#include "frame_ref.h"

#include <QString>

#include <functional>

namespace framesifter {

// The file name, or "video.ser #N" for frame N of a video.
QString FrameDisplayName(const FrameRef& frame);

// `name` as it fits in `width` as measured by `widthOf`: whole when it fits; else with its
// middle replaced by an ellipsis, a video's " #N" kept whole and the rest shared between the
// start and the end of the file name (a little more to the start). When not even "…" and
// the frame number fit, the frame number alone, then nothing.
QString ElideFrameName(const QString& name, int width,
                       const std::function<int(const QString&)>& widthOf);

}  // namespace framesifter
