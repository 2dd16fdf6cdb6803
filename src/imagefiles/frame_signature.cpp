#include "frame_signature.h"

#include "bmp_reader.h"
#include "byte_source.h"
#include "file_io.h"
#include "fits_reader.h"
#include "jpeg_image.h"
#include "ser_reader.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace framesifter {

namespace {

auto Key(const FrameSignature& s) {
    return std::tie(s.kind, s.width, s.height, s.bits, s.floating, s.colour);
}

const char* KindName(FrameFormat kind) {
    switch (kind) {
    case FrameFormat::Bmp:
        return "BMP";
    case FrameFormat::Jpeg:
        return "JPEG";
    case FrameFormat::Fits:
        return "FITS";
    case FrameFormat::Ser:
        return "SER";
    case FrameFormat::Unknown:
        break;
    }
    return "unknown";
}

// Markers before the frame header (thumbnails, colour profiles) rarely pass this; the whole
// file is read only when they do.
constexpr std::size_t kJpegHeadBytes = 64 * 1024;

bool ReadBmpSignature(const ByteSource& source, FrameSignature& s, std::string& error) {
    std::vector<std::uint8_t> scratch;
    const std::size_t n = std::size_t(std::min<std::uint64_t>(source.size(), kBmpHeadersBytes));
    const std::uint8_t* head = source.view(0, n, scratch, error);
    BmpHeaders headers;
    if (!head || !ParseBmpHeaders(head, n, source.size(), headers, error)) return false;
    s.width = headers.width;
    s.height = headers.height;
    s.bits = headers.bits;
    s.colour = headers.bits > 8;
    return true;
}

bool ReadJpegSignature(const ByteSource& source, FrameSignature& s, std::string& error) {
    std::vector<std::uint8_t> bytes;
    const std::size_t n = std::size_t(std::min<std::uint64_t>(source.size(), kJpegHeadBytes));
    const std::uint8_t* head = source.view(0, n, bytes, error);
    if (!head) return false;
    JpegImage::HeaderFacts facts;
    if (!JpegImage::readHeader(head, n, facts, error)) {
        if (source.size() <= n || !ReadAllBytes(source, bytes, error) ||
            !JpegImage::readHeader(bytes.data(), bytes.size(), facts, error))
            return false;
    }
    s.width = facts.width;
    s.height = facts.height;
    s.bits = facts.precision;
    s.colour = facts.components >= 3;
    return true;
}

bool ReadFitsSignature(const ByteSource& source, FrameSignature& s, std::string& error) {
    FitsCards cards;
    if (!ReadFitsCards(source, cards, error)) return false;
    s.width = cards.width;
    s.height = cards.height;
    s.bits = std::abs(cards.bitpix);
    s.floating = cards.bitpix < 0;
    s.colour = cards.planes == 3;
    return true;
}

bool ReadFileSignature(const std::string& path, FrameSignature& s, std::string& error) {
    s = FrameSignature();
    s.kind = FrameFormatOf(path);
    if (s.kind == FrameFormat::Unknown) return Fail(error, NotAFrameReason(path));
    if (s.kind == FrameFormat::Ser) return Fail(error, kVideoWithoutFrame);
    ByteSource source;
    if (!source.open(path, error)) return false;
    if (s.kind == FrameFormat::Bmp) return ReadBmpSignature(source, s, error);
    if (s.kind == FrameFormat::Jpeg) return ReadJpegSignature(source, s, error);
    return ReadFitsSignature(source, s, error);
}

}  // namespace

bool FrameSignature::operator==(const FrameSignature& o) const { return Key(*this) == Key(o); }
bool FrameSignature::operator<(const FrameSignature& o) const { return Key(*this) < Key(o); }

std::string DescribeSignature(const FrameSignature& s) {
    return std::to_string(s.width) + " x " + std::to_string(s.height) + " " +
           std::to_string(s.bits) + "-bit " + (s.floating ? "float " : "") +
           (s.colour ? "colour " : "") + KindName(s.kind);
}

bool SignatureReader::read(const std::string& entry, FrameSignature& signature,
                           std::string& error) {
    std::string path;
    int frame = 0;
    if (!SplitFrameEntry(entry, path, frame)) return ReadFileSignature(entry, signature, error);
    auto [it, added] = videos_.try_emplace(path);
    Video& video = it->second;
    if (added) {
        SerHeader header;
        video.readable = ReadSerHeaderFile(path, header, video.error);
        video.frameCount = header.frameCount;
        video.signature.kind = FrameFormat::Ser;
        video.signature.width = header.width;
        video.signature.height = header.height;
        video.signature.bits = header.depth;
        video.signature.colour = header.colour != SerColour::Mono;
    }
    if (!video.readable) return Fail(error, video.error);
    if (frame > video.frameCount)
        return Fail(error, "no frame " + std::to_string(frame) + " (the video has " +
                               std::to_string(video.frameCount) + ")");
    signature = video.signature;
    return true;
}

bool ReadSignatures(const std::vector<std::string>& entries,
                    std::vector<std::optional<FrameSignature>>& signatures,
                    const std::function<bool()>& stopped) {
    signatures.assign(entries.size(), std::nullopt);
    SignatureReader reader;
    FrameSignature signature;
    std::string error;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (stopped && stopped()) return false;
        if (reader.read(entries[k], signature, error)) signatures[k] = signature;
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
