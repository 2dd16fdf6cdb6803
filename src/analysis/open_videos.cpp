#include "open_videos.h"

#include <algorithm>

namespace framesifter {

std::shared_ptr<const OpenVideo> OpenVideos::get(const std::string& path, FrameFormat format,
                                                 std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto known = std::find_if(open_.begin(), open_.end(), [&](const auto& video) {
        return video->path == path && video->format == format;
    });
    if (known != open_.end()) {
        std::shared_ptr<const OpenVideo> video = *known;
        open_.erase(known);
        open_.push_back(video);
        return video;
    }
    auto video = std::make_shared<OpenVideo>();
    video->path = path;
    video->format = format;
    if (!video->source.open(path, error)) return nullptr;
    if (format == FrameFormat::Ser)
        video->headerRead = ReadSerHeader(video->source, video->ser, video->headerError);
    // A thread still reading a video closed here keeps it open until it is done with it.
    if (open_.size() >= kKeptOpen) open_.erase(open_.begin());
    open_.push_back(video);
    return video;
}

}  // namespace framesifter
