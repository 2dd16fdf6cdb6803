#include "frame_format.h"

#include "file_io.h"
#include "ser_reader.h"

#include <climits>

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

bool SplitFrameEntry(const std::string& entry, std::string& path, int& frame) {
    const std::size_t hash = entry.rfind('#');
    if (hash == std::string::npos) return false;
    const std::string number = entry.substr(hash + 1);
    if (number.empty() || number.size() > 10 || number[0] == '0') return false;
    long long n = 0;
    for (char c : number) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    if (n > INT_MAX) return false;
    std::string file = entry.substr(0, hash);
    const std::size_t slash = file.find_last_of('/');
    const std::size_t nameLength = file.size() - (slash == std::string::npos ? 0 : slash + 1);
    if (nameLength <= 4 || FrameFormatOf(file) != FrameFormat::Ser) return false;
    path = std::move(file);
    frame = int(n);
    return true;
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
