#include "bmp_rle.h"
#include "reason.h"

#include "file_io.h"

#include <algorithm>
#include <optional>

namespace framesifter {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

// The stream's bytes in chunks read through the source.
struct Stream {
    const ByteSource& source;
    std::vector<std::uint8_t>& scratch;
    std::uint64_t next;
    const std::uint8_t* chunk = nullptr;
    std::size_t at = 0, size = 0;
    bool failed = false;
    std::string error;

    bool get(std::uint8_t& byte) {
        if (at == size) {
            if (failed || next >= source.size()) return false;
            const std::size_t n =
                std::size_t(std::min<std::uint64_t>(kChunkBytes, source.size() - next));
            chunk = source.view(next, n, scratch, error);
            if (!chunk) {
                failed = true;
                return false;
            }
            next += n;
            at = 0;
            size = n;
        }
        byte = chunk[at++];
        return true;
    }
};

// The row being filled.
struct Cursor {
    int width, height;
    int y = 0;
    std::size_t x = 0;
    bool written = false;
    std::vector<std::uint8_t> row;
    const std::function<void(int, const std::uint8_t*)>& sink;

    void leaveRow() {
        if (written) {
            sink(y, row.data());
            std::fill(row.begin(), row.end(), std::uint8_t(0));
        }
        written = false;
    }
    // Why `count` pixels cannot be written here; none when they can.
    std::optional<ReasonKind> refusal(std::size_t count) const {
        if (y >= height) return ReasonKind::RunPastImage;
        if (x + count > std::size_t(width)) return ReasonKind::RunPastRow;
        return std::nullopt;
    }
    void put(std::uint8_t index) {
        row[x++] = index;
        written = true;
    }
};

}  // namespace

bool DecodeBmpRunLength(const ByteSource& source, std::uint64_t start, int width, int height,
                        int bits, std::vector<std::uint8_t>& scratch,
                        const std::function<void(int, const std::uint8_t*)>& row,
                        std::string& error) {
    Stream in{source, scratch, start, nullptr, 0, 0, false, {}};
    Cursor at{width, height, 0, 0, false, {}, row};
    at.row.assign(std::size_t(width), 0);
    const bool four = bits == 4;
    auto damaged = [&](ReasonKind why) {
        return Fail(error,
                    in.failed ? in.error : Reason(ReasonKind::RunLengthDamaged, {Reason(why)}));
    };
    const ReasonKind cut = ReasonKind::RunCutCommand;
    std::uint8_t b = 0;
    for (;;) {
        if (!in.get(b)) {
            // Data may stop without their end mark once every row is complete.
            const bool complete =
                at.y >= height || (at.y == height - 1 && at.x == std::size_t(width));
            if (in.failed || !complete) return damaged(ReasonKind::RunEndsEarly);
            break;
        }
        if (b != 0) {  // a run of one index (8 bits) or two alternating ones (4 bits)
            const std::size_t count = b;
            std::uint8_t value = 0;
            if (!in.get(value)) return damaged(cut);
            if (const auto why = at.refusal(count)) return damaged(*why);
            for (std::size_t i = 0; i < count; ++i)
                at.put(four ? std::uint8_t(i % 2 ? value & 0x0f : value >> 4) : value);
            continue;
        }
        if (!in.get(b)) return damaged(cut);
        if (b == 1) break;  // end of the bitmap
        if (b == 0) {       // end of the line
            at.leaveRow();
            at.x = 0;
            ++at.y;
        } else if (b == 2) {  // delta
            std::uint8_t dx = 0, dy = 0;
            if (!in.get(dx) || !in.get(dy)) return damaged(cut);
            const std::size_t x = at.x + dx;
            const int y = at.y + dy;
            if (x > std::size_t(width) || y >= height) return damaged(ReasonKind::RunMovePastImage);
            if (y != at.y) at.leaveRow();
            at.x = x;
            at.y = y;
        } else {  // literal pixels, padded to a whole number of 16-bit words
            const std::size_t count = b;
            if (const auto why = at.refusal(count)) return damaged(*why);
            const std::size_t bytes = four ? (count + 1) / 2 : count;
            std::uint8_t v = 0;
            for (std::size_t i = 0; i < bytes; ++i) {
                if (!in.get(v)) return damaged(cut);
                if (!four) {
                    at.put(v);
                } else {
                    at.put(v >> 4);
                    if (2 * i + 1 < count) at.put(v & 0x0f);
                }
            }
            if (bytes & 1 && !in.get(v)) return damaged(cut);
        }
    }
    at.leaveRow();
    return true;
}

}  // namespace framesifter
