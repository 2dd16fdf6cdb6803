#include "frame_signature.h"

#include "byte_source.h"
#include "file_io.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace framesifter {

namespace {

bool ReadFileSignature(const std::string& path, FrameSignature& s, std::string& error) {
    s = FrameSignature();
    s.kind = FrameFormatOf(path);
    const FrameFormatRow& row = FormatRow(s.kind);
    if (s.kind == FrameFormat::Unknown) return Fail(error, NotAFrameReason(path));
    if (row.video) return Fail(error, VideoWithoutFrameReason(s.kind));
    ByteSource source;
    return source.open(path, error) && row.readSignature(source, s, error);
}

}  // namespace

std::string DescribeSignature(const FrameSignature& s) {
    return std::to_string(s.width) + " x " + std::to_string(s.height) + " " +
           std::to_string(s.bits) + "-bit " + (s.floating ? "float " : "") +
           (s.colour ? "colour " : "") +
           (s.kind == FrameFormat::Unknown ? "unknown" : FormatRow(s.kind).name);
}

bool SignatureReader::read(const FrameRef& frame, FrameSignature& signature, std::string& error) {
    if (!frame.inVideo()) return ReadFileSignature(frame.file, signature, error);
    auto [it, added] = videos_.try_emplace(frame.file);
    Video& video = it->second;
    if (added) {
        video.signature.kind = FrameFormatOf(frame.file);
        const FrameFormatRow& row = FormatRow(video.signature.kind);
        ByteSource source;
        video.readable = source.open(frame.file, video.error) &&
                         row.readVideo(source, video.frameCount, video.signature, video.error);
    }
    if (!video.readable) return Fail(error, video.error);
    if (frame.frame > video.frameCount)
        return Fail(error, "no frame " + std::to_string(frame.frame) + " (the video has " +
                               std::to_string(video.frameCount) + ")");
    signature = video.signature;
    return true;
}

bool ReadSignatures(const std::vector<FrameRef>& frames,
                    std::vector<std::optional<FrameSignature>>& signatures,
                    const std::function<bool()>& stopped) {
    signatures.assign(frames.size(), std::nullopt);
    SignatureReader reader;
    FrameSignature signature;
    std::string error;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        if (stopped && stopped()) return false;
        if (reader.read(frames[k], signature, error)) signatures[k] = signature;
    }
    return true;
}

MixedFrames FindOddFrames(const std::vector<std::optional<FrameSignature>>& signatures) {
    struct Tally {
        std::size_t count = 0;
        std::size_t first = 0;
    };
    std::map<FrameSignature, Tally> tallies;
    for (std::size_t k = 0; k < signatures.size(); ++k)
        if (signatures[k]) {
            auto [it, added] = tallies.try_emplace(*signatures[k], Tally{0, k});
            ++it->second.count;
        }
    MixedFrames mixed;
    if (tallies.empty()) return mixed;
    const auto best = std::max_element(tallies.begin(), tallies.end(), [](auto& a, auto& b) {
        return a.second.count < b.second.count ||
               (a.second.count == b.second.count && a.second.first > b.second.first);
    });
    mixed.majority = best->first;
    for (std::size_t k = 0; k < signatures.size(); ++k)
        if (signatures[k] && *signatures[k] != mixed.majority)
            mixed.odd.push_back({k, *signatures[k]});
    return mixed;
}

}  // namespace framesifter
