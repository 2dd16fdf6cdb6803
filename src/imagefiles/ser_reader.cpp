#include "ser_reader.h"
#include "reason.h"

#include "file_io.h"
#include "frame_limits.h"

#include <algorithm>
#include <cstring>

namespace framesifter {

namespace {

constexpr char kSignature[] = "LUCAM-RECORDER";
constexpr std::size_t kSignatureBytes = 14;
constexpr std::size_t kTextOffset = 42;
constexpr std::size_t kDateOffset = kTextOffset + 3 * kSerTextBytes;  // 162

std::int32_t Le32(const std::uint8_t* p) {
    return std::int32_t(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                        std::uint32_t(p[3]) << 24);
}

std::int64_t Le64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return std::int64_t(v);
}

std::string Text(const std::uint8_t* p) {
    const auto* c = reinterpret_cast<const char*>(p);
    std::string text(c, std::find(c, c + kSerTextBytes, '\0'));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    return text;
}

bool KnownColour(std::int32_t id) {
    return id == 0 || (id >= 8 && id <= 11) || (id >= 16 && id <= 19) || id == 100 || id == 101;
}

template <typename Sample>
void GatherSamples(const std::uint8_t* row, std::size_t step, std::size_t first, int n,
                   std::int32_t* out, Sample sample) {
    const std::uint8_t* p = row + first;
    for (int i = 0; i < n; ++i, p += step) out[i] = sample(p);
}

// Whether frame `a` of one video holds the same bytes as frame `b` of another of the same
// frame size, read in pieces.
bool SameFrame(const ByteSource& one, const SerHeader& header, int a, const ByteSource& other,
               int b, bool& same, std::string& error) {
    constexpr std::uint64_t kPiece = std::uint64_t(4) << 20;
    std::vector<std::uint8_t> sa, sb;
    same = false;
    for (std::uint64_t done = 0; done < header.frameBytes(); done += kPiece) {
        const std::size_t n = std::size_t(std::min(kPiece, header.frameBytes() - done));
        const std::uint8_t* pa = one.view(SerFrameOffset(header, a) + done, n, sa, error);
        if (!pa) return false;
        const std::uint8_t* pb = other.view(SerFrameOffset(header, b) + done, n, sb, error);
        if (!pb) return false;
        if (std::memcmp(pa, pb, n) != 0) return true;
    }
    same = true;
    return true;
}

}  // namespace

bool ParseSerHeader(const std::uint8_t* bytes, std::size_t available, std::uint64_t fileSize,
                    SerHeader& header, std::string& error) {
    header = SerHeader();
    if (available < kSignatureBytes || std::memcmp(bytes, kSignature, kSignatureBytes) != 0)
        return Fail(error, Reason(ReasonKind::NotSer));
    if (available < std::size_t(kSerHeaderBytes) || fileSize < std::uint64_t(kSerHeaderBytes))
        return Fail(error, Reason(ReasonKind::SerHeaderCut,
                                  {std::min<std::uint64_t>(available, fileSize)}));
    const std::int32_t colour = Le32(bytes + 18);
    if (!KnownColour(colour)) return Fail(error, Reason(ReasonKind::SerColour, {colour}));
    header.luId = Le32(bytes + 14);
    header.colour = SerColour(colour);
    header.endianFlag = Le32(bytes + 22);
    const std::int32_t width = Le32(bytes + 26), height = Le32(bytes + 30);
    const std::int32_t depth = Le32(bytes + 34), count = Le32(bytes + 38);
    if (depth < 1 || depth > 16) return Fail(error, Reason(ReasonKind::SerDepth, {depth}));
    if (width < 1 || height < 1)
        return Fail(error, Reason(ReasonKind::SerFrameSize, {width, height}));
    if (width > kMaxFrameSide || height > kMaxFrameSide)
        return Fail(error, TooLargeReason(width, height));
    if (count < 1) return Fail(error, Reason(ReasonKind::SerNoFrames, {count}));
    header.width = width;
    header.height = height;
    header.depth = depth;
    header.frameCount = count;
    header.planes = colour >= 100 ? 3 : 1;
    header.bytesPerSample = depth > 8 ? 2 : 1;
    header.bigEndianSamples = header.endianFlag != 0;
    header.observer = Text(bytes + kTextOffset);
    header.instrument = Text(bytes + kTextOffset + kSerTextBytes);
    header.telescope = Text(bytes + kTextOffset + 2 * kSerTextBytes);
    header.dateTime = Le64(bytes + kDateOffset);
    header.dateTimeUtc = Le64(bytes + kDateOffset + 8);
    header.fileSize = fileSize;

    // At most 16000 * 16000 * 6 bytes a frame and 2^31 frames: no product overflows.
    const std::uint64_t frameBytes = header.frameBytes();
    const std::uint64_t dataBytes = fileSize - kSerHeaderBytes;
    const std::uint64_t whole = dataBytes / frameBytes;
    if (whole < std::uint64_t(count)) {
        return Fail(error, Reason(dataBytes % frameBytes ? ReasonKind::SerFramesCutPart
                                                         : ReasonKind::SerFramesCut,
                                  {count, whole}));
    }
    const std::uint64_t rest = dataBytes - frameBytes * std::uint64_t(count);
    header.hasTrailer = rest >= 8 * std::uint64_t(count);
    header.trailerIgnored = rest > 0 && !header.hasTrailer;
    return true;
}

bool ReadSerHeader(const ByteSource& source, SerHeader& header, std::string& error) {
    std::vector<std::uint8_t> scratch;
    const std::size_t n = std::size_t(std::min<std::uint64_t>(source.size(), kSerHeaderBytes));
    const std::uint8_t* bytes = source.view(0, n, scratch, error);
    return bytes && ParseSerHeader(bytes, n, source.size(), header, error);
}

bool ReadSerHeaderFile(const std::string& path, SerHeader& header, std::string& error) {
    ByteSource source;
    return source.open(path, error) && ReadSerHeader(source, header, error);
}

std::uint64_t SerFrameOffset(const SerHeader& header, int index) {
    return kSerHeaderBytes + header.frameBytes() * std::uint64_t(index);
}

bool ReadSerTimestamps(const ByteSource& source, const SerHeader& header,
                       std::vector<std::int64_t>& times, std::string& error) {
    times.clear();
    if (!header.hasTrailer) return true;
    std::vector<std::uint8_t> scratch;
    const std::size_t n = std::size_t(header.frameCount) * 8;
    const std::uint8_t* bytes =
        source.view(SerFrameOffset(header, header.frameCount), n, scratch, error);
    if (!bytes) return false;
    times.resize(std::size_t(header.frameCount));
    for (std::size_t i = 0; i < times.size(); ++i) times[i] = Le64(bytes + 8 * i);
    return true;
}

const std::uint8_t* ViewSerRows(const ByteSource& source, const SerHeader& header, int index,
                                int y0, int count, std::vector<std::uint8_t>& scratch,
                                std::string& error, bool* fromDisk) {
    if (index < 0 || index >= header.frameCount || y0 < 0 || count < 1 ||
        count > header.height - y0) {
        error = Reason(ReasonKind::SerRowsOutside);
        return nullptr;
    }
    const std::size_t rowBytes = header.rowBytes();
    const std::uint64_t offset = SerFrameOffset(header, index) + std::uint64_t(y0) * rowBytes;
    if (fromDisk)
        return source.view(offset, rowBytes * std::size_t(count), scratch, error, *fromDisk);
    return source.view(offset, rowBytes * std::size_t(count), scratch, error);
}

void SerRowSamples(const std::uint8_t* row, const SerHeader& header, int x0, int n,
                   std::int32_t* out) {
    // Green is the middle sample in both RGB and BGR order.
    const std::size_t step = header.pixelBytes();
    const std::size_t first =
        std::size_t(x0) * step + (header.isColour() ? std::size_t(header.bytesPerSample) : 0);
    if (header.bytesPerSample == 1)
        GatherSamples(row, step, first, n, out, [](const std::uint8_t* p) { return p[0]; });
    else if (header.bigEndianSamples)
        GatherSamples(row, step, first, n, out,
                      [](const std::uint8_t* p) { return std::int32_t(p[0]) << 8 | p[1]; });
    else
        GatherSamples(row, step, first, n, out,
                      [](const std::uint8_t* p) { return std::int32_t(p[1]) << 8 | p[0]; });
}

bool WriteSerSubset(const ByteSource& source, const SerHeader& header,
                    const std::vector<int>& indices, const std::string& path, std::string& error) {
    if (indices.empty()) return Fail(error, Reason(ReasonKind::SerNothingToWrite));
    for (int index : indices) {
        if (index < 0 || index >= header.frameCount)
            return Fail(error, Reason(ReasonKind::SerNoSuchFrame, {index + 1, header.frameCount}));
    }
    std::vector<std::int64_t> times;
    if (!ReadSerTimestamps(source, header, times, error)) return false;
    std::vector<std::uint8_t> scratch;
    const std::uint8_t* head = source.view(0, kSerHeaderBytes, scratch, error);
    if (!head) return false;
    std::vector<std::uint8_t> newHead(head, head + kSerHeaderBytes);
    const std::uint32_t count = std::uint32_t(indices.size());
    for (int i = 0; i < 4; ++i) newHead[std::size_t(38 + i)] = std::uint8_t(count >> (8 * i));

    return WriteNewFileBy(
        path,
        [&](int fd, std::string& err) {
            if (!WriteAll(fd, newHead.data(), newHead.size()))
                return Fail(err, SystemReason(ReasonKind::WriteError));
            // A frame can be larger than any buffer worth keeping: copy it in pieces.
            constexpr std::uint64_t kPiece = std::uint64_t(4) << 20;
            for (int index : indices) {
                const std::uint64_t start = SerFrameOffset(header, index);
                for (std::uint64_t done = 0; done < header.frameBytes(); done += kPiece) {
                    const std::size_t n = std::size_t(std::min(kPiece, header.frameBytes() - done));
                    const std::uint8_t* bytes = source.view(start + done, n, scratch, err);
                    if (!bytes) return false;
                    if (!WriteAll(fd, bytes, n))
                        return Fail(err, SystemReason(ReasonKind::WriteError));
                }
            }
            if (times.empty()) return true;
            std::vector<std::uint8_t> trailer;
            trailer.reserve(indices.size() * 8);
            for (int index : indices) {
                const std::uint64_t t = std::uint64_t(times[std::size_t(index)]);
                for (int i = 0; i < 8; ++i) trailer.push_back(std::uint8_t(t >> (8 * i)));
            }
            return WriteAll(fd, trailer.data(), trailer.size()) ||
                   Fail(err, SystemReason(ReasonKind::WriteError));
        },
        error);
}

bool IsSerSubsetOf(const ByteSource& subset, const ByteSource& video,
                   const std::vector<int>& frames, std::string& error) {
    SerHeader part, whole;
    std::string why;
    if (!ReadSerHeader(subset, part, why))
        return Fail(error, Reason(ReasonKind::NotSerBecause, {why}));
    if (!ReadSerHeader(video, whole, why))
        return Fail(error, Reason(ReasonKind::ItsVideoUnreadable, {why}));
    std::vector<std::uint8_t> sa, sb;
    const std::uint8_t* ha = subset.view(0, kSerHeaderBytes, sa, error);
    const std::uint8_t* hb = ha ? video.view(0, kSerHeaderBytes, sb, error) : nullptr;
    if (!hb) return false;
    // All but the frame count, bytes 38 to 41.
    if (std::memcmp(ha, hb, 38) != 0 || std::memcmp(ha + 42, hb + 42, kSerHeaderBytes - 42) != 0)
        return Fail(error, Reason(ReasonKind::HeaderNotVideos));
    const std::uint64_t count = std::uint64_t(part.frameCount);
    if (part.fileSize != SerFrameOffset(part, part.frameCount) + (whole.hasTrailer ? 8 * count : 0))
        return Fail(error, Reason(ReasonKind::HoldsMoreThanFrames));
    if (!frames.empty() && frames.size() != count)
        return Fail(error, Reason(ReasonKind::HoldsFrameCount, {count, frames.size()}));
    int from = 0;  // the video's next frame to look at, without a list
    for (int i = 0; i < part.frameCount; ++i) {
        bool same = false;
        if (!frames.empty()) {
            const int f = frames[std::size_t(i)];
            if (f < 1 || f > whole.frameCount)
                return Fail(error, Reason(ReasonKind::ItsVideoNoFrame, {f}));
            if (!SameFrame(subset, part, i, video, f - 1, same, error)) return false;
            if (!same) return Fail(error, Reason(ReasonKind::FrameNotFrame, {i + 1, f}));
            continue;
        }
        while (!same && from < whole.frameCount)
            if (!SameFrame(subset, part, i, video, from++, same, error)) return false;
        if (!same) return Fail(error, Reason(ReasonKind::FrameNotVideos, {i + 1}));
    }
    return true;
}

}  // namespace framesifter
