#include "bmp_rle.h"

#include <algorithm>
#include <cstring>

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

// Where Qt's reader would write, and the row being filled.
struct Cursor {
    int width, height;
    std::size_t rowBytes;  // Qt's 8-bit rows are padded to 4 bytes
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
    // Qt clamps a run at the end of the first row only; later rows may spill over.
    // Returns false for a spill out of the row.
    bool fit(std::size_t& count) const {
        if (y == 0) {
            count = std::min(count, std::size_t(width) - std::min(x, std::size_t(width)));
            return true;
        }
        return x + count <= rowBytes;
    }
    void put(std::uint8_t index) {
        row[x++] = index;
        written = true;
    }
};

}  // namespace

RleResult DecodeBmpRunLength(const ByteSource& source, std::uint64_t start, int width, int height,
                             int bits, std::vector<std::uint8_t>& scratch,
                             const std::function<void(int, const std::uint8_t*)>& row,
                             std::string& error) {
    Stream in{source, scratch, start, nullptr, 0, 0, false, {}};
    Cursor at{width, height, (std::size_t(width) + 3) / 4 * 4, 0, 0, false, {}, row};
    at.row.assign(at.rowBytes, 0);
    const bool four = bits == 4;
    std::uint8_t b = 0;
    while (at.y < height) {
        if (!in.get(b)) break;
        if (b != 0) {  // a run of one index (8 bits) or two alternating ones (4 bits)
            std::size_t count = b;
            if (!at.fit(count)) return RleResult::Irregular;
            // When the value is missing, Qt's 8-bit path uses an undefined byte; 0 here.
            std::uint8_t value = four ? std::uint8_t(count) : 0;
            in.get(value);
            for (std::size_t i = 0; i < count; ++i)
                at.put(four ? std::uint8_t(i % 2 ? value & 0x0f : value >> 4) : value);
            continue;
        }
        if (!in.get(b) || b == 1) break;  // end of the bitmap
        if (b == 0) {                     // end of the line
            at.leaveRow();
            at.x = 0;
            ++at.y;
        } else if (b == 2) {  // delta
            std::uint8_t dx = 0, dy = 0;
            if (!in.get(dx) || !in.get(dy)) break;  // nothing more is written
            std::size_t x = at.x + dx;
            int y = at.y + dy;
            if (x >= std::size_t(width)) x = std::size_t(width) - 1;
            if (y >= height) y = height - 1;
            if (y != at.y) at.leaveRow();
            at.x = x;
            at.y = y;
        } else {  // literal pixels
            std::size_t count = b;
            if (!at.fit(count)) return RleResult::Irregular;
            if (four) {
                std::uint8_t pair = std::uint8_t(count);  // Qt keeps the last byte it read
                for (std::size_t i = 0; i < count / 2; ++i) {
                    in.get(pair);
                    at.put(pair >> 4);
                    at.put(pair & 0x0f);
                }
                if (count & 1) {
                    std::uint8_t last = 0;
                    in.get(last);
                    at.put(last >> 4);
                }
                if (((count & 3) + 1) & 2) in.get(b);  // word alignment
            } else {
                for (std::size_t i = 0; i < count; ++i) {
                    std::uint8_t index;
                    if (!in.get(index)) {
                        error = in.failed ? in.error : "the run-length data end inside a run";
                        return RleResult::Refused;
                    }
                    at.put(index);
                }
                if (count & 1) in.get(b);
            }
        }
    }
    if (in.failed) {
        error = in.error;
        return RleResult::Refused;
    }
    at.leaveRow();
    return RleResult::Ok;
}

}  // namespace framesifter
