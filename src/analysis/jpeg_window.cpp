#include "jpeg_window.h"

namespace {

// Centre mode needs only the window's rows and block columns of a JPEG; libjpeg skips the
// rest. The pixels are those of a full decode.
WindowRead JpegCentreWindow(const std::uint8_t* bytes, std::size_t size, int N,
                            FrameReader& reader, IntPlane& window, int& width, int& height,
                            std::string& error) {
    JpegImage& jpeg = reader.decoder;
    if (!jpeg.loadMemoryCentre(bytes, size, N, N)) {
        error = jpeg.error();
        return WindowRead::Unreadable;
    }
    width = jpeg.width();
    height = jpeg.height();
    if (width < N || height < N) return WindowRead::TooSmall;
    if (jpeg.regionWidth() != N || jpeg.regionHeight() != N ||
        jpeg.regionX() != (width - N) / 2 || jpeg.regionY() != (height - N) / 2) {
        error = "the JPEG decoder returned another region than the window";
        return WindowRead::Unreadable;
    }
    const std::uint8_t* rows = jpeg.bgr().data();
    const std::size_t stride = jpeg.stride();
    for (int j = 0; j < N; ++j) {
        const std::uint8_t* green = rows + std::size_t(j) * stride + 1;
        for (int i = 0; i < N; ++i) window[i][j] = green[std::size_t(i) * 3];
    }
    return WindowRead::Ok;
}

}  // namespace

WindowRead JpegWindowFromSource(const ByteSource& source, WindowMode mode, int N,
                                FrameReader& reader, IntPlane& window, int& width, int& height,
                                std::string& error) {
    const std::uint8_t* bytes = source.memory();
    if (!bytes) {
        if (!reader.hold.holdTotal(std::size_t(source.size()), error)) return WindowRead::Unreadable;
        if (ReadAllBytes(source, reader.frame.fileBytes, error) != 0) return WindowRead::Unreadable;
        bytes = reader.frame.fileBytes.data();
    }
    const std::size_t size = std::size_t(source.size());
    if (mode == WindowMode::Centre)
        return JpegCentreWindow(bytes, size, N, reader, window, width, height, error);
    Frame& frame = reader.frame;
    if (LoadFrameFromMemory(bytes, size, ".jpg", reader.decoder, frame, error) != 0)
        return WindowRead::Unreadable;
    width = frame.width;
    height = frame.height;
    if (width < N || height < N) return WindowRead::TooSmall;
    int x0 = 0, y0 = 0;
    WindowCorner(frame, N, mode, x0, y0);
    CopyWindow(frame, x0, y0, N, window);
    return WindowRead::Ok;
}
