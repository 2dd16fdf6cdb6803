// libFuzzer target: the SER header parse and the window of one frame. The first byte
// chooses the window mode and which frame the entry names; the window reader must agree
// with the header parse, and its samples must lie within the declared depth's bytes.
#include "ser_reader.h"
#include "ser_window.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace framesifter;

#define REQUIRE(condition)                                                          \
    do {                                                                            \
        if (!(condition)) {                                                         \
            std::fprintf(stderr, "fuzz_ser: %s (line %d)\n", #condition, __LINE__); \
            std::abort();                                                           \
        }                                                                           \
    } while (0)

namespace {

constexpr int kN = 8;  // a small window reaches the window code with small inputs

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const WindowMode mode = data[0] & 1 ? WindowMode::Peak : WindowMode::Centre;
    const int frame = 1 + (data[0] >> 1) % 4;
    const std::uint8_t* bytes = data + 1;
    const std::size_t n = size - 1;

    SerHeader header;
    std::string headerError;
    const bool parsed =
        ParseSerHeader(bytes, n < kSerHeaderBytes ? n : kSerHeaderBytes, n, header, headerError);
    REQUIRE(parsed || !headerError.empty());
    if (parsed) {
        REQUIRE(header.width >= 1 && header.height >= 1 && header.frameCount >= 1);
        REQUIRE(header.depth >= 1 && header.depth <= 16);
        REQUIRE(SerFrameOffset(header, header.frameCount) <= n);
        REQUIRE(!(header.hasTrailer && header.trailerIgnored));
        std::vector<std::int64_t> times;
        std::string error;
        const ByteSource source(bytes, n);
        REQUIRE(ReadSerTimestamps(source, header, times, error));
        REQUIRE(times.size() == (header.hasTrailer ? std::size_t(header.frameCount) : 0));
    }

    static FrameReader reader;  // reused, as in a batch run
    static IntPlane window;
    std::string error;
    if (window.empty()) REQUIRE(AllocIntPlane(kN, kN, window, error));
    const ByteSource source(bytes, n);
    int width = 0, height = 0;
    const WindowRead read =
        SerWindowFromSource(source, frame, mode, kN, reader, window, width, height, error);
    REQUIRE(read != WindowRead::Unreadable || !error.empty());
    if (!parsed) {
        REQUIRE(read == WindowRead::Unreadable);
        return 0;
    }
    if (frame > header.frameCount) {
        REQUIRE(read == WindowRead::Unreadable);
        return 0;
    }
    REQUIRE(width == header.width && height == header.height);
    REQUIRE((read == WindowRead::TooSmall) == (width < kN || height < kN));
    if (read != WindowRead::Ok) return 0;
    const std::int32_t largest = header.bytesPerSample == 1 ? 255 : 65535;
    for (int i = 0; i < kN; ++i)
        for (int j = 0; j < kN; ++j) REQUIRE(window[i][j] >= 0 && window[i][j] <= largest);
    return 0;
}
