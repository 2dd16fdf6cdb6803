#pragma once
// Where a plot of frames puts its labels along the frame axis: frames sit at whole x from 1,
// so labels go on whole numbers only, never on a position between two frames.

#include <vector>

// 1, 2 or 5 times a power of ten: the smallest such step that gives at most six labels over
// `frames` frames (1 for none).
int FrameTickStep(int frames);

// The labelled positions over frames 1..frames: every multiple of the step (at least one, as
// the step never passes the last frame); none for no frames.
std::vector<int> FrameTicks(int frames);
