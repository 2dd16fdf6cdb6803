#include "frame_formats.h"
#include "reason.h"

#include "bmp_reader.h"
#include "file_io.h"
#include "fits_header.h"
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

// Markers before the frame header (thumbnails, colour profiles) rarely pass this; the whole
// file is read only when they do.
constexpr std::size_t kJpegHeadBytes = 64 * 1024;

bool ReadJpegSignature(const ByteSource& source, FrameSignature& s, std::string& error) {
    std::vector<std::uint8_t> bytes;
    const std::size_t n = std::size_t(std::min<std::uint64_t>(source.size(), kJpegHeadBytes));
    const std::uint8_t* head = source.view(0, n, bytes, error);
    if (!head) return false;
    JpegImage::HeaderFacts facts;
    // A head cut short of the frame's size markers is no failure while more of the file is
    // there, so its complaint must not stay behind in `error`.
    std::string cutShort;
    if (!JpegImage::readHeader(head, n, facts, cutShort)) {
        if (source.size() <= n) return Fail(error, std::move(cutShort));
        if (!ReadAllBytes(source, bytes, error) ||
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

bool ReadSerVideo(const ByteSource& source, int& frameCount, FrameSignature& s,
                  std::string& error) {
    SerHeader header;
    if (!ReadSerHeader(source, header, error)) return false;
    frameCount = header.frameCount;
    s.width = header.width;
    s.height = header.height;
    s.bits = header.depth;
    s.colour = header.colour != SerColour::Mono;
    return true;
}

bool WriteSerFrames(const ByteSource& source, const std::vector<int>& indices,
                    const std::string& target, std::string& error) {
    SerHeader header;
    return ReadSerHeader(source, header, error) &&
           WriteSerSubset(source, header, indices, target, error);
}

std::vector<FrameFormatRow> BuildRows() {
    std::vector<FrameFormatRow> rows(4);
    rows[0].format = FrameFormat::Bmp;
    rows[0].name = "BMP";
    rows[0].extensions = {".bmp"};
    rows[0].readSignature = ReadBmpSignature;

    rows[1].format = FrameFormat::Fits;
    rows[1].name = "FITS";
    rows[1].extensions = {".fit", ".fts", ".fits", ".fz"};
    rows[1].gzipExtensions = {".fit.gz", ".fts.gz", ".fits.gz"};
    rows[1].readSignature = ReadFitsSignature;

    rows[2].format = FrameFormat::Jpeg;
    rows[2].name = "JPEG";
    rows[2].extensions = {".jpg", ".jpeg"};
    rows[2].readSignature = ReadJpegSignature;

    rows[3].format = FrameFormat::Ser;
    rows[3].name = "SER";
    rows[3].extensions = {".ser"};
    rows[3].video = true;
    rows[3].readVideo = ReadSerVideo;
    rows[3].writeFrames = WriteSerFrames;
    rows[3].holdsOnlyFramesOf = IsSerSubsetOf;
    return rows;
}

}  // namespace

bool FrameSignature::operator==(const FrameSignature& o) const { return Key(*this) == Key(o); }
bool FrameSignature::operator<(const FrameSignature& o) const { return Key(*this) < Key(o); }

const std::vector<FrameFormatRow>& FrameFormatRows() {
    static const std::vector<FrameFormatRow> rows = BuildRows();
    return rows;
}

const FrameFormatRow& FormatRow(FrameFormat format) {
    static const FrameFormatRow none;
    for (const FrameFormatRow& row : FrameFormatRows())
        if (row.format == format) return row;
    return none;
}

std::string FileExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return {};
    return path.substr(dot);
}

namespace {

// Every extension of a row, the gzip-compressed ones last.
std::vector<std::string> AllExtensions(const FrameFormatRow& row) {
    std::vector<std::string> all = row.extensions;
    all.insert(all.end(), row.gzipExtensions.begin(), row.gzipExtensions.end());
    return all;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The row and extension the name ends with, the longest that matches.
struct ExtensionMatch {
    const FrameFormatRow* row = nullptr;
    std::string extension;
    bool gzip = false;
};

ExtensionMatch MatchExtension(const std::string& path) {
    // Only the end of the path is compared, as long as the longest extension (extensions
    // hold no slash, so only the name can end with one).
    constexpr std::size_t kLongest = 16;
    std::string end = path.size() > kLongest ? path.substr(path.size() - kLongest) : path;
    // ASCII only: a locale must not make another letter match.
    for (char& c : end) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    ExtensionMatch match;
    const auto offer = [&](const FrameFormatRow& row, const std::string& known, bool gzip) {
        if (!EndsWith(end, known) || known.size() <= match.extension.size()) return;
        match.row = &row;
        match.extension = known;
        match.gzip = gzip;
    };
    for (const FrameFormatRow& row : FrameFormatRows()) {
        for (const std::string& known : row.extensions) offer(row, known, false);
        for (const std::string& known : row.gzipExtensions) offer(row, known, true);
    }
    return match;
}

}  // namespace

FrameFormat FrameFormatOf(const std::string& path) {
    const ExtensionMatch match = MatchExtension(path);
    return match.row ? match.row->format : FrameFormat::Unknown;
}

std::string FrameExtension(const std::string& path) { return MatchExtension(path).extension; }

bool IsGzipFrameName(const std::string& path) { return MatchExtension(path).gzip; }

std::string DialogFilter(const FrameFormatRow& row, bool listed) {
    std::string patterns, shown;
    for (const std::string& ext : AllExtensions(row)) {
        patterns += (patterns.empty() ? "*" : " *") + ext;
        shown += (shown.empty() ? "*" : ", *") + ext;
    }
    std::string text = std::string(row.name) + " (";
    if (listed) text += shown + ") (";
    return text + patterns + ")";
}

std::string AllKindsDialogFilter(const std::string& label) {
    std::string names, patterns;
    for (const FrameFormatRow& row : FrameFormatRows()) {
        names += (names.empty() ? "" : ", ") + std::string(row.name);
        for (const std::string& ext : AllExtensions(row))
            patterns += (patterns.empty() ? "*" : " *") + ext;
    }
    return label + " (" + names + ") (" + patterns + ")";
}

std::string ExtensionList(bool videos) {
    std::string list;
    for (const FrameFormatRow& row : FrameFormatRows()) {
        if (row.video != videos) continue;
        for (const std::string& ext : AllExtensions(row)) list += (list.empty() ? "" : " ") + ext;
    }
    return list;
}

std::string FormatNames(bool videos) {
    std::vector<std::string> names;
    for (const FrameFormatRow& row : FrameFormatRows())
        if (row.video == videos) names.push_back(row.name);
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return text;
}

std::string VideoWithoutFrameReason(FrameFormat format) {
    return Reason(ReasonKind::VideoWithoutFrame, {FormatRow(format).name});
}

}  // namespace framesifter
