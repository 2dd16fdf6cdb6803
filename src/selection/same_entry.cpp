#include "same_entry.h"

#include "path_parts.h"

#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <tuple>

namespace framesifter {

RepeatedEntry FindRepeatedEntry(const std::vector<FrameRef>& frames) {
    using Key = std::tuple<dev_t, ino_t, std::string, std::string>;
    // Where an entry was listed whole (a file, or a video with all its frames) and where
    // each of its frames was.
    struct Listed {
        int whole = -1;
        int firstFrame = -1;
        std::map<int, int> frames;
    };
    std::map<std::string, std::pair<dev_t, ino_t>> folders;  // looked up once each
    std::map<Key, Listed> seen;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const FrameRef& ref = frames[k];
        const int frame = ref.frame;
        std::string folder, name;
        SplitFolderAndName(ref.file, folder, name);
        auto found = folders.find(folder);
        if (found == folders.end()) {
            struct stat st {};
            const bool known = stat(folder.c_str(), &st) == 0;
            found = folders
                        .emplace(folder, known ? std::make_pair(st.st_dev, st.st_ino)
                                               : std::make_pair(dev_t(0), ino_t(0)))
                        .first;
        }
        const bool known = found->second != std::make_pair(dev_t(0), ino_t(0));
        const Key key{
            found->second.first, found->second.second,
            known ? std::string() : std::filesystem::path(folder).lexically_normal().string(),
            name};
        Listed& listed = seen[key];
        const int index = int(k);
        if (listed.whole >= 0) return {listed.whole, index, frame > 0};
        if (frame == 0) {
            if (listed.firstFrame >= 0) return {listed.firstFrame, index, true};
            listed.whole = index;
            continue;
        }
        const auto inserted = listed.frames.emplace(frame, index);
        if (!inserted.second) return {inserted.first->second, index};
        if (listed.firstFrame < 0) listed.firstFrame = index;
    }
    return {};
}

std::string RepeatedEntryText(const std::vector<FrameRef>& frames, const RepeatedEntry& repeated) {
    const FrameRef& firstFrame = frames[std::size_t(repeated.first)];
    const std::string first = FrameRefText(firstFrame);
    const std::string second = FrameRefText(frames[std::size_t(repeated.second)]);
    if (!repeated.wholeVideo) return second + " is listed twice (also as " + first + ")";
    const bool firstIsFrame = firstFrame.inVideo();
    return (firstIsFrame ? first : second) + " is listed twice: by itself and within " +
           (firstIsFrame ? second : first) + ", which lists every frame of the video";
}

}  // namespace framesifter
