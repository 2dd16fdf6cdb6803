#pragma once
// The videos a batch run reads, each opened once and its header parsed once, shared by the
// run's threads (a video's reads are positioned, so one descriptor serves them all). A few are
// kept open at a time: a list holds a video's frames together, so older ones are closed as the
// run moves on.

#include "byte_source.h"
#include "frame_formats.h"
#include "ser_reader.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace framesifter {

struct OpenVideo {
    std::string path;
    FrameFormat format = FrameFormat::Unknown;
    ByteSource source;
    // A SER video's header, or why it could not be read (then every frame says so).
    bool headerRead = false;
    SerHeader ser;
    std::string headerError;
};

class OpenVideos {
public:
    static constexpr std::size_t kKeptOpen = 4;

    // The video at `path`, opened now or before. Null with the open's reason when it cannot
    // be opened (that is not kept: a later frame tries again).
    std::shared_ptr<const OpenVideo> get(const std::string& path, FrameFormat format,
                                         std::string& error);

private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<const OpenVideo>> open_;  // most recently used last
};

}  // namespace framesifter
