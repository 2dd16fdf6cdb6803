#include "frame_format.h"

namespace framesifter {

const char kNotAFrameName[] = "not a BMP, JPEG or FITS file name";

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
    if (ext == ".fit" || ext == ".fts" || ext == ".fits") return FrameFormat::Fits;
    return FrameFormat::Unknown;
}

std::string TooLargeReason(long long width, long long height) {
    const std::string side = std::to_string(kMaxFrameSide);
    return "image too large: " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels declared (at most " + side + " x " + side + ")";
}

}  // namespace framesifter
