#pragma once
// Writes 16-bit FITS primary images (unsigned data stored with BZERO = 32768, the
// convention of camera software). Used by the demo generator, the benchmark and tests.

#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

// values: width*height unsigned samples, row y = 0 first, x fastest. The whole file, header
// and padding included, into `bytes`.
[[nodiscard]] bool EncodeFits16(const std::uint16_t* values, int width, int height,
                                std::vector<std::uint8_t>& bytes, std::string& error);

// The encoded file at `path`, placed only once complete; never replaces an existing file.
[[nodiscard]] bool WriteFits16(const std::string& path, const std::uint16_t* values, int width,
                               int height, std::string& error);

}  // namespace framesifter
