#pragma once
// Frames kept gzip-compressed as a whole file (".fit.gz"): expanded into memory, where the
// readers take them as they take any frame in memory. A small file can expand to gigabytes,
// so every expansion has a bound, checked as the bytes grow rather than against the size the
// file's trailer claims (which holds it modulo 2^32 only).

#include "byte_source.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace framesifter {

// Asked before the expanded bytes take `bytes` of memory in all; false with a reason stops
// the expansion.
using ExpansionCheck = std::function<bool(std::size_t bytes, std::string& error)>;

struct ExpansionBound {
    std::size_t limit = 0;  // the most bytes the file may expand to
    bool headOnly = false;  // stop quietly after `limit` bytes: a header is all that is read
    ExpansionCheck check;   // may be empty
};

// The bound a frame read alone has: the largest a frame's file may be.
ExpansionBound FrameExpansionBound();

// The size the file's last member says it expands to, from its trailer (modulo 2^32).
[[nodiscard]] bool GzipClaimedSize(const ByteSource& source, std::uint32_t& size,
                                   std::string& error);

// Every member of a gzip file, expanded into `out`.
[[nodiscard]] bool ExpandGzip(const ByteSource& source, const ExpansionBound& bound,
                              std::vector<std::uint8_t>& out, std::string& error);

// Opens a frame's file; a gzip-compressed one (by its name) is expanded into the source's
// own memory within `bound`.
[[nodiscard]] bool OpenFrameFile(const std::string& path, const ExpansionBound& bound,
                                 ByteSource& source, std::string& error);
[[nodiscard]] bool OpenFrameFile(const std::string& path, ByteSource& source, std::string& error);

}  // namespace framesifter
