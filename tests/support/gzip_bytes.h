#pragma once
// gzip files made in the tests with zlib, as gzip(1) writes them.

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

inline std::string GzipBytes(const std::string& plain, int level = 6) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out(deflateBound(&z, uLong(plain.size())) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    z.avail_in = uInt(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return result == Z_STREAM_END ? out : std::string();
}

inline std::string GzipBytes(const std::vector<std::uint8_t>& plain, int level = 6) {
    return GzipBytes(std::string(plain.begin(), plain.end()), level);
}

// The trailer's size (ISIZE) replaced: what a file expanding past 4 GB, or a forged one, says.
inline std::string WithClaimedSize(std::string gz, std::uint32_t size) {
    for (int k = 0; k < 4; ++k) gz[gz.size() - 4 + std::size_t(k)] = char((size >> (8 * k)) & 0xff);
    return gz;
}
