#include "frame_ref.h"
#include "reason.h"

#include "frame_formats.h"
#include "system_calls.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>

namespace framesifter {

namespace {

// A video's path: a video's extension with something before it in the name.
bool IsVideoName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameLength = path.size() - (slash == std::string::npos ? 0 : slash + 1);
    return IsVideoFormat(FrameFormatOf(path)) && nameLength > FileExtension(path).size();
}

// The value of a number of decimal digits, or -1 when it is not one or passes INT_MAX.
long long DecimalValue(const std::string& digits) {
    if (digits.empty()) return -1;
    long long n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
        if (n > INT_MAX) return -1;
    }
    return n;
}

}  // namespace

FrameRef ParseFrameRef(const std::string& text) {
    const std::size_t hash = text.rfind('#');
    if (hash == std::string::npos) return {text, 0};
    const std::string number = text.substr(hash + 1);
    const long long n = number.empty() || number[0] == '0' ? -1 : DecimalValue(number);
    if (n < 1) return {text, 0};
    std::string file = text.substr(0, hash);
    if (!IsVideoName(file)) return {text, 0};
    return {std::move(file), int(n)};
}

std::string FrameRefText(const FrameRef& ref) {
    if (!ref.inVideo()) return ref.file;
    return ref.file + "#" + std::to_string(ref.frame);
}

bool ReadVideoFrameCount(const std::string& video, int& frameCount, std::string& error) {
    const FrameFormatRow& row = FormatRow(FrameFormatOf(video));
    if (!row.readVideo) return Fail(error, Reason(ReasonKind::NotAFrameName));
    ByteSource source;
    FrameSignature signature;
    return source.open(video, error) && row.readVideo(source, frameCount, signature, error);
}

std::string NotAFrameReason(const std::string& path) {
    const std::size_t hash = path.rfind('#');
    const std::string video = path.substr(0, hash);
    if (hash == std::string::npos || !IsVideoName(video)) return Reason(ReasonKind::NotAFrameName);
    std::string number = path.substr(hash + 1);
    const std::size_t digit = number.find_first_not_of('0');
    const long long n = digit == std::string::npos ? 0 : DecimalValue(number.substr(digit));
    if (n > 0) return Reason(ReasonKind::LeadingZeros, {FrameRefText({video, int(n)})});
    int count = 0;
    std::string unread;
    const bool counted = ReadVideoFrameCount(video, count, unread);
    if (number.empty() || number.find_first_not_of("-0123456789") != std::string::npos)
        number = "'" + number + "'";
    return counted ? Reason(ReasonKind::NoSuchFrameCount, {video, number, count})
                   : Reason(ReasonKind::NoSuchFrameFromOne, {video, number});
}

std::string UnopenedVideoReason(const FrameRef& ref, const std::string& error) {
    const std::string entry = FrameRefText(ref);
    struct stat st {};
    if (lstat(ref.file.c_str(), &st) == 0 || errno != ENOENT || stat(entry.c_str(), &st) != 0)
        return error;
    return Reason(ReasonKind::NoVideoNoFrame, {ref.file, Reason(ReasonKind::NotAFrameName)});
}

FrameRef FrameOfVideo(const std::string& video, int n) {
    if (IsVideoName(video)) return {video, n};
    return {FrameRefText({video, n}), 0};
}

bool ExpandFrameEntries(const std::vector<FrameRef>& chosen, std::vector<FrameRef>& frames,
                        std::string& error) {
    frames.clear();
    for (const FrameRef& ref : chosen) {
        if (ref.inVideo() || !IsVideoFormat(FrameFormatOf(ref.file))) {
            if (frames.size() >= kMaxFrameEntries)
                return Fail(error, Reason(ReasonKind::TooManyFrames, {kMaxFrameEntries}));
            frames.push_back(ref);
            continue;
        }
        const std::string& path = ref.file;
        int count = 0;
        std::string reason;
        if (!ReadVideoFrameCount(path, count, reason))
            return Fail(error, Reason(ReasonKind::PathProblem, {path, reason}));
        if (std::size_t(count) > kMaxFrameEntries - frames.size()) {
            return Fail(error,
                        Reason(ReasonKind::VideoFramesTooMany, {path, count, kMaxFrameEntries}));
        }

        frames.reserve(frames.size() + std::size_t(count));
        for (int n = 1; n <= count; ++n) frames.push_back(FrameOfVideo(path, n));
    }
    return true;
}

}  // namespace framesifter
