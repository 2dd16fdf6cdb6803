#include "frame_signature.h"
#include "reason.h"

#include "byte_source.h"
#include "file_io.h"
#include "fits_header.h"
#include "gzip_frame.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <system_error>
#include <thread>
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
    if (IsGzipFrameName(path)) {
        // The header alone is expanded first; an image past it (in an extension after a
        // large primary one) needs the whole file.
        ExpansionBound head = FrameExpansionBound();
        head.limit = 2 * std::size_t(kFitsMaxHeaderBlocks) * kFitsBlockBytes;
        head.headOnly = true;
        std::string ignored;
        FrameSignature first = s;
        if (OpenFrameFile(path, head, source, ignored) &&
            row.readSignature(source, first, ignored)) {
            s = first;
            return true;
        }
    }
    return OpenFrameFile(path, source, error) && row.readSignature(source, s, error);
}

}  // namespace

std::string DescribeSignature(const FrameSignature& s) {
    const ReasonKind kind =
        s.floating ? (s.colour ? ReasonKind::SignatureFloatColour : ReasonKind::SignatureFloat)
                   : (s.colour ? ReasonKind::SignatureColour : ReasonKind::Signature);
    return Reason(kind, {s.width, s.height, s.bits,
                         s.kind == FrameFormat::Unknown ? "unknown" : FormatRow(s.kind).name});
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
        return Fail(error, Reason(ReasonKind::NoFrameOfCount, {frame.frame, video.frameCount}));

    signature = video.signature;
    return true;
}

bool ReadSignatures(const std::vector<FrameRef>& frames, std::vector<EntrySignature>& signatures,
                    const std::function<bool()>& stopped, int threads) {
    signatures.assign(frames.size(), EntrySignature());
    // Headers are small and their files many: the time goes to opening files, which threads
    // share out. Lists are taken in pieces; a stop is seen between them.
    constexpr std::size_t kPiece = 64;
    const std::size_t pieces = (frames.size() + kPiece - 1) / kPiece;
    if (threads <= 0) threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    const int helpers = int(std::min<std::size_t>(std::size_t(threads), pieces)) - 1;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    const auto work = [&](bool caller) {
        SignatureReader reader;
        for (std::size_t piece = next++; piece < pieces && !stop; piece = next++) {
            if (caller && stopped && stopped()) {
                stop = true;
                return;
            }
            const std::size_t end = std::min(frames.size(), (piece + 1) * kPiece);
            for (std::size_t k = piece * kPiece; k < end; ++k) {
                EntrySignature& entry = signatures[k];
                entry.read = reader.read(frames[k], entry.signature, entry.error);
            }
        }
    };
    std::vector<std::thread> pool;
    for (int t = 0; t < helpers; ++t) {
        try {
            pool.emplace_back(work, false);
        } catch (const std::system_error&) {
            break;  // the caller reads what no thread takes
        }
    }
    work(true);
    for (std::thread& t : pool) t.join();
    return !stop;
}

MixedFrames FindOddFrames(const std::vector<EntrySignature>& signatures) {
    struct Tally {
        std::size_t count = 0;
        std::size_t first = 0;
    };
    std::map<FrameSignature, Tally> tallies;
    for (std::size_t k = 0; k < signatures.size(); ++k)
        if (signatures[k].read) {
            auto [it, added] = tallies.try_emplace(signatures[k].signature, Tally{0, k});
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
        if (signatures[k].read && signatures[k].signature != mixed.majority)
            mixed.odd.push_back({k, signatures[k].signature});
    return mixed;
}

}  // namespace framesifter
