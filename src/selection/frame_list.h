#pragma once
// The frames a frame window steps through, and the list of the selection they follow: the
// file list, the pass list, or the scores table's order. Each frame carries the id of its list
// entry, which stays its own while entries around it come and go, so that a window keeps its
// frame through a move, an undo or a new selection, or learns that it has gone.

#include "frame_ref.h"

#include <cstdint>
#include <vector>

namespace framesifter {

// Own: the frames of one video opened in the viewer, which no selection changes.
enum class FrameListKind { Own, Files, Passes, Scores };

struct FrameList {
    FrameListKind kind = FrameListKind::Own;
    std::vector<FrameRef> frames;
    std::vector<std::uint64_t> ids;  // one per frame; empty for a list that follows nothing

    bool follows() const { return kind != FrameListKind::Own && ids.size() == frames.size(); }
};

// Where a window showing frame `shown` of `before` stands once its list has become `after`.
struct FollowedFrame {
    int index = -1;          // the frame to show in `after`; -1 when the window closes
    bool sameFrame = false;  // the frame shown already: nothing to read again
};

// The shown frame keeps its place by its id. When it has left the list the window closes,
// unless `keepPlace` (the user took it out there): the next frame of `before` still listed
// takes its place, else the last one before it.
FollowedFrame FollowFrameList(const FrameList& before, int shown, const FrameList& after,
                              bool keepPlace);

// Position of entry `id` in `list`; -1 when it is not there.
int IndexOfId(const FrameList& list, std::uint64_t id);

}  // namespace framesifter
