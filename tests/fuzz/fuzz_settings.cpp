// libFuzzer target: the settings-file reader on arbitrary text.
#include "settings_file.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    double numbers[8];
    const int read = ParseSettings(text, numbers);
    if (read < 0 || read > 8) std::abort();
    for (int i = read; i < 8; ++i)
        if (numbers[i] != 0) std::abort();  // pairs not read stay 0
    const int binning = BinningFromSettings(text);
    if (read == 8 && std::isfinite(numbers[7]) && std::fabs(numbers[7]) < 2e9 &&
        binning != int(numbers[7]))
        std::abort();
    return 0;
}
