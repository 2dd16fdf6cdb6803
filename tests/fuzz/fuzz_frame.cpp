// libFuzzer target: the frame loading the batch run uses, on BMP, JPEG and FITS bytes. The
// first byte chooses the format and the window mode, so one corpus serves all. Where both
// the window reader and the whole-frame loader accept a frame, their windows must agree.
#include "fits_reader.h"
#include "frame_window.h"
#include "window_corner.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <cstdio>

using namespace framesifter;

// Names the broken promise before stopping, so a report says which check failed.
#define REQUIRE(condition)                                                            \
    do {                                                                              \
        if (!(condition)) {                                                           \
            std::fprintf(stderr, "fuzz_frame: %s (line %d)\n", #condition, __LINE__); \
            std::abort();                                                             \
        }                                                                             \
    } while (0)

namespace {

constexpr int kN = 32;  // a small window reaches the window code with small inputs

void CheckFrame(const Frame& frame) {
    REQUIRE(frame.width >= 1 && frame.height >= 1);
    REQUIRE(frame.kind != FrameKind::Bitmap ||
            frame.bgr.size() == std::size_t(frame.width) * frame.height * 3);
    REQUIRE(frame.kind != FrameKind::Fits ||
            (frame.plane.first() == frame.width && frame.plane.second() == frame.height));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static const char* const kExtensions[] = {".bmp", ".jpg", ".fits"};
    const std::string extension = kExtensions[data[0] % 3];
    const WindowMode mode = (data[0] / 3) % 2 ? WindowMode::Peak : WindowMode::Centre;
    static FrameReader reader;  // reused, as in a batch run
    static IntPlane window, expected;
    std::string error;
    if (window.empty())
        REQUIRE(AllocIntPlane(kN, kN, window, error) && AllocIntPlane(kN, kN, expected, error));
    // FITS images beyond the 16-bit path go to cfitsio, which is not fuzzed here.
    FitsHeader header;
    std::string parseError;
    if (extension == ".fits" && ParseFitsHeader(data + 1, size - 1, header, parseError) &&
        !header.fast)
        return 0;

    int width = 0, height = 0;
    const WindowRead read = WindowFromMemory(data + 1, size - 1, extension, mode, kN, reader,
                                             window, width, height, error);
    REQUIRE(read != WindowRead::Unreadable || !error.empty());

    static Frame frame;
    static JpegImage decoder;
    std::string fullError;
    if (!LoadFrameFromMemory(data + 1, size - 1, extension, decoder, frame, fullError)) {
        REQUIRE(!fullError.empty() && frame.kind == FrameKind::None);
        return 0;
    }
    CheckFrame(frame);
    // The window reader never refuses a frame that the whole-frame loader accepts.
    REQUIRE(read != WindowRead::Unreadable);
    if (read == WindowRead::TooSmall) {
        REQUIRE(frame.width < kN || frame.height < kN);
        return 0;
    }
    REQUIRE(frame.width == width && frame.height == height);
    int x0 = -1, y0 = -1;
    WindowCorner(frame, kN, mode, x0, y0);
    REQUIRE(x0 >= 0 && y0 >= 0 && x0 <= frame.width - kN && y0 <= frame.height - kN);
    CopyWindow(frame, x0, y0, kN, expected);
    for (int i = 0; i < kN; ++i)
        for (int j = 0; j < kN; ++j) REQUIRE(window[i][j] == expected[i][j]);
    return 0;
}
