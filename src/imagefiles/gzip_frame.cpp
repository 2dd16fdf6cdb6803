#include "gzip_frame.h"
#include "reason.h"

#include "file_io.h"
#include "frame_formats.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace framesifter {

namespace {

constexpr std::size_t kInputChunk = std::size_t(1) << 20;
constexpr std::size_t kFirstCapacity = std::size_t(1) << 20;

bool IsGzipStart(const std::uint8_t* p, std::size_t n) {
    return n >= 2 && p[0] == 0x1f && p[1] == 0x8b;
}

// Makes room for more expanded bytes: twice the capacity, within the bound; false when the
// bound is reached (`full`) or the check refuses.
bool Grow(std::vector<std::uint8_t>& out, std::size_t used, const ExpansionBound& bound, bool& full,
          std::string& error) {
    full = used >= bound.limit;
    if (full) return false;
    const std::size_t want = std::min(
        bound.limit, std::max(kFirstCapacity, used > bound.limit / 2 ? bound.limit : used * 2));
    if (bound.check && !bound.check(want, error)) return false;
    try {
        out.reserve(want);  // exactly: resize alone may take twice the old capacity
        out.resize(want);
    } catch (const std::bad_alloc&) {
        return Fail(error, Reason(ReasonKind::NoMemoryToRead));
    }
    return true;
}

// Whether the stream still has bytes to give: one more byte is asked for.
bool HasMore(z_stream& z) {
    std::uint8_t byte = 0;
    z.next_out = &byte;
    z.avail_out = 1;
    (void)inflate(&z, Z_NO_FLUSH);
    return z.avail_out == 0;
}

// Whether the source holds nothing but zero bytes from `offset` to its end.
bool OnlyZerosFrom(const ByteSource& source, std::uint64_t offset, bool& zeros,
                   std::string& error) {
    std::vector<std::uint8_t> chunk;
    zeros = true;
    while (zeros && offset < source.size()) {
        chunk.resize(std::size_t(std::min<std::uint64_t>(kInputChunk, source.size() - offset)));
        if (!source.readInto(offset, chunk.size(), chunk.data(), error)) return false;
        offset += chunk.size();
        zeros = std::all_of(chunk.begin(), chunk.end(), [](std::uint8_t b) { return b == 0; });
    }
    return true;
}

}  // namespace

ExpansionBound FrameExpansionBound() {
    ExpansionBound bound;
    bound.limit = std::size_t(kMaxFrameFileBytes);
    return bound;
}

bool GzipClaimedSize(const ByteSource& source, std::uint32_t& size, std::string& error) {
    std::uint8_t head[2] = {};
    std::uint8_t tail[4] = {};
    if (source.size() >= 2) {
        if (!source.readInto(0, 2, head, error)) return false;
        if (!IsGzipStart(head, 2)) return Fail(error, Reason(ReasonKind::GzipNotGzip));
    }
    // A header of 10 bytes and a trailer of 8 at least.
    if (source.size() < 18) return Fail(error, Reason(ReasonKind::GzipCut, {0}));
    if (!source.readInto(source.size() - 4, 4, tail, error)) return false;
    size = std::uint32_t(tail[0]) | std::uint32_t(tail[1]) << 8 | std::uint32_t(tail[2]) << 16 |
           std::uint32_t(tail[3]) << 24;
    return true;
}

bool ExpandGzip(const ByteSource& source, const ExpansionBound& bound,
                std::vector<std::uint8_t>& out, std::string& error) {
    out.clear();
    if (source.size() > kMaxFrameFileBytes)
        return Fail(error, Reason(ReasonKind::FileTooLarge, {source.size()}));
    std::uint32_t claimed = 0;
    if (!GzipClaimedSize(source, claimed, error)) return false;
    const std::size_t mib = std::size_t(1) << 20;

    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) return Fail(error, Reason(ReasonKind::NoMemoryToRead));
    struct End {
        z_stream& z;
        ~End() { inflateEnd(&z); }
    } end{z};

    std::vector<std::uint8_t> input;
    std::uint64_t offset = 0;
    std::size_t used = 0;
    bool ok = true, done = false;
    int result = Z_OK;
    // The trailer's claim is no proof either way: it wraps at 4 GB, counts the last member
    // only, and is any four bytes in a file cut short. It only sizes the first buffer, when
    // plausible (deflate expands at most about 1032 times); the bound holds while expanding.
    const std::uint64_t plausible = source.size() * 1100 + 65536;
    if (claimed > 0 && claimed <= bound.limit && claimed <= plausible) {
        if (bound.check && !bound.check(claimed, error)) return false;
        out.resize(claimed);
    }
    while (ok && !done) {
        if (z.avail_in == 0) {
            const std::size_t n =
                std::size_t(std::min<std::uint64_t>(kInputChunk, source.size() - offset));
            if (n == 0) {
                // The input is over before the stream's end.
                out.resize(used);
                return Fail(error, Reason(ReasonKind::GzipCut, {used}));
            }
            input.resize(n);
            if (!source.readInto(offset, n, input.data(), error)) return false;
            offset += n;
            z.next_in = input.data();
            z.avail_in = uInt(n);
        }
        if (used == out.size()) {
            bool full = false;
            if (!Grow(out, used, bound, full, error)) {
                if (!full) return false;
                if (bound.headOnly) break;
                if (HasMore(z))
                    return Fail(error, Reason(ReasonKind::GzipExpandsPast, {bound.limit / mib}));
            }
        }
        z.next_out = out.data() + used;
        z.avail_out =
            uInt(std::min<std::size_t>(out.size() - used, std::numeric_limits<uInt>::max()));
        const uInt before = z.avail_out;
        result = inflate(&z, Z_NO_FLUSH);
        used += before - z.avail_out;
        if (result == Z_STREAM_END) {
            // Another member may follow, or zeros padding the file; anything else is refused.
            const std::uint64_t left = z.avail_in + (source.size() - offset);
            if (left == 0) {
                done = true;
            } else {
                std::uint8_t next[2] = {};
                const std::size_t n = std::size_t(std::min<std::uint64_t>(2, left));
                const std::uint64_t at = offset - z.avail_in;
                if (!source.readInto(at, n, next, error)) return false;
                if (IsGzipStart(next, n)) {
                    inflateReset(&z);
                } else {
                    bool zeros = false;
                    if (!OnlyZerosFrom(source, at, zeros, error)) return false;
                    if (!zeros) return Fail(error, Reason(ReasonKind::GzipTrailing));
                    done = true;
                }
            }
        } else if (result == Z_BUF_ERROR && z.avail_in == 0) {
            continue;  // more input is read above
        } else if (result != Z_OK) {
            ok = false;
        }
    }
    if (!ok) {
        out.clear();
        return Fail(error, Reason(ReasonKind::GzipDamaged, {z.msg ? z.msg : "unknown error"}));
    }
    out.resize(used);
    return true;
}

bool OpenFrameFile(const std::string& path, const ExpansionBound& bound, ByteSource& source,
                   std::string& error) {
    if (!IsGzipFrameName(path)) return source.open(path, error);
    ByteSource file;
    std::vector<std::uint8_t> bytes;
    if (!file.open(path, error) || !ExpandGzip(file, bound, bytes, error)) return false;
    source.adopt(std::move(bytes));
    return true;
}

bool OpenFrameFile(const std::string& path, ByteSource& source, std::string& error) {
    return OpenFrameFile(path, FrameExpansionBound(), source, error);
}

}  // namespace framesifter
