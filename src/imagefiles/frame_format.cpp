#include "frame_format.h"

#include "file_io.h"
#include "ser_reader.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>

namespace framesifter {

const char kNotAFrameName[] = "not a BMP, JPEG or FITS file name";
const char kVideoWithoutFrame[] = "a SER video: its frames are named PATH#1, PATH#2, ...";

std::string FileExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return {};
    return path.substr(dot);
}

FrameFormat FrameFormatOf(const std::string& path) {
    std::string ext = FileExtension(path);
    // ASCII only: a locale must not make another letter match.
    for (char& c : ext) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    if (ext == ".bmp") return FrameFormat::Bmp;
    if (ext == ".jpg" || ext == ".jpeg") return FrameFormat::Jpeg;
    if (ext == ".fit" || ext == ".fts" || ext == ".fits" || ext == ".fz") return FrameFormat::Fits;
    if (ext == ".ser") return FrameFormat::Ser;
    return FrameFormat::Unknown;
}

namespace {

// A video's path: a .ser name with something before the extension.
bool IsVideoName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameLength = path.size() - (slash == std::string::npos ? 0 : slash + 1);
    return nameLength > 4 && FrameFormatOf(path) == FrameFormat::Ser;
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

bool SplitFrameEntry(const std::string& entry, std::string& path, int& frame) {
    const std::size_t hash = entry.rfind('#');
    if (hash == std::string::npos) return false;
    const std::string number = entry.substr(hash + 1);
    const long long n = number[0] == '0' ? -1 : DecimalValue(number);
    if (n < 1) return false;
    std::string file = entry.substr(0, hash);
    if (!IsVideoName(file)) return false;
    path = std::move(file);
    frame = int(n);
    return true;
}

std::string NotAFrameReason(const std::string& path) {
    const std::size_t hash = path.rfind('#');
    const std::string video = path.substr(0, hash);
    if (hash == std::string::npos || !IsVideoName(video)) return kNotAFrameName;
    std::string number = path.substr(hash + 1);
    const std::size_t digit = number.find_first_not_of('0');
    const long long n = digit == std::string::npos ? 0 : DecimalValue(number.substr(digit));
    if (n > 0) return "frame numbers are written without leading zeros: " + FrameEntry(video, n);
    SerHeader header;
    std::string unread;
    const std::string numbered = ReadSerHeaderFile(video, header, unread)
                                     ? "1 to " + std::to_string(header.frameCount)
                                     : "from 1";
    if (number.empty() || number.find_first_not_of("-0123456789") != std::string::npos)
        number = "'" + number + "'";
    return video + " has no frame " + number + "; its frames are numbered " + numbered;
}

std::string UnopenedVideoReason(const std::string& entry, const std::string& video,
                                const std::string& error) {
    struct stat st {};
    if (lstat(video.c_str(), &st) == 0 || errno != ENOENT || stat(entry.c_str(), &st) != 0)
        return error;
    return "there is no video " + video +
           " to take a frame from, and the file of this very name is no frame: " + kNotAFrameName;
}

std::string FrameEntry(const std::string& path, int frame) {
    return path + "#" + std::to_string(frame);
}

bool ExpandFrameEntries(const std::vector<std::string>& paths, std::vector<std::string>& entries,
                        std::string& error) {
    entries.clear();
    for (const std::string& path : paths) {
        if (FrameFormatOf(path) != FrameFormat::Ser) {
            if (entries.size() >= kMaxFrameEntries)
                return Fail(error, "more than " + std::to_string(kMaxFrameEntries) + " frames");
            entries.push_back(path);
            continue;
        }
        SerHeader header;
        std::string reason;
        if (!ReadSerHeaderFile(path, header, reason)) return Fail(error, path + ": " + reason);
        if (std::size_t(header.frameCount) > kMaxFrameEntries - entries.size()) {
            return Fail(error, path + ": its " + std::to_string(header.frameCount) +
                                   " frames would make more than " +
                                   std::to_string(kMaxFrameEntries) + " frames in all");
        }
        entries.reserve(entries.size() + std::size_t(header.frameCount));
        for (int n = 1; n <= header.frameCount; ++n) entries.push_back(FrameEntry(path, n));
    }
    return true;
}

std::string TooLargeReason(long long width, long long height) {
    const std::string side = std::to_string(kMaxFrameSide);
    return "image too large: " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels declared (at most " + side + " x " + side + ")";
}

}  // namespace framesifter
