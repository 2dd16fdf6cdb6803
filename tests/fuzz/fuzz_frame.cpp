// libFuzzer target: the frame loader the batch run uses, on BMP and JPEG bytes. The first
// byte chooses the format so one corpus serves both.
#include "characteristic.h"
#include "frame.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static const char* const kExtensions[] = {".bmp", ".jpg", ".fits"};
    const char* extension = kExtensions[data[0] % 3];
    static JpegImage decoder;   // reused, as in a batch run
    static Frame frame;
    std::string error;
    if (LoadFrameFromMemory(data + 1, size - 1, extension, decoder, frame, error) != 0) {
        if (error.empty() || frame.kind != FrameKind::None) std::abort();
        return 0;
    }
    if (frame.width < 1 || frame.height < 1) std::abort();
    if (frame.kind == FrameKind::Bitmap &&
        frame.bgr.size() != std::size_t(frame.width) * frame.height * 3)
        std::abort();
    // Peak mode scans every pixel: it must stay inside the frame.
    if (frame.width >= 256 && frame.height >= 256) {
        int x0 = -1, y0 = -1;
        WindowCorner(frame, 256, WindowMode::Peak, x0, y0);
        if (x0 < 0 || y0 < 0 || x0 > frame.width - 256 || y0 > frame.height - 256) std::abort();
    }
    return 0;
}
