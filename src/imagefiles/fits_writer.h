#pragma once
// Writes 16-bit FITS primary images (unsigned data stored with BZERO = 32768, the
// convention of camera software). Used by the demo generator, the benchmark and tests.

#include <cstdint>
#include <string>

// values: width*height unsigned samples, row y = 0 first, x fastest.
// Returns 0 on success, 1 (with `error`) on failure. Never replaces an existing file
// unless `replace` is true.
int WriteFits16(const std::string& path, const std::uint16_t* values, int width, int height,
                std::string& error, bool replace = false);
