#include "frame_list.h"

#include <algorithm>
#include <unordered_map>

namespace framesifter {

int IndexOfId(const FrameList& list, std::uint64_t id) {
    const auto at = std::find(list.ids.begin(), list.ids.end(), id);
    return at == list.ids.end() ? -1 : int(at - list.ids.begin());
}

FollowedFrame FollowFrameList(const FrameList& before, int shown, const FrameList& after,
                              bool keepPlace) {
    FollowedFrame followed;
    if (!before.follows() || !after.follows() || after.frames.empty() || shown < 0 ||
        std::size_t(shown) >= before.ids.size())
        return followed;
    const int same = IndexOfId(after, before.ids[std::size_t(shown)]);
    if (same >= 0) {
        followed.index = same;
        followed.sameFrame = true;
        return followed;
    }
    if (!keepPlace) return followed;
    std::unordered_map<std::uint64_t, int> place;
    for (std::size_t i = 0; i < after.ids.size(); ++i) place.emplace(after.ids[i], int(i));
    for (std::size_t i = std::size_t(shown) + 1; i < before.ids.size(); ++i)
        if (const auto at = place.find(before.ids[i]); at != place.end()) {
            followed.index = at->second;
            return followed;
        }
    for (int i = shown - 1; i >= 0; --i)
        if (const auto at = place.find(before.ids[std::size_t(i)]); at != place.end()) {
            followed.index = at->second;
            return followed;
        }
    return followed;
}

}  // namespace framesifter
