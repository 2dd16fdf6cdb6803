#include "bmp_window.h"

WindowRead BmpWindowFromSource(const ByteSource& source, WindowMode mode, int N,
                               FrameReader& reader, IntPlane& window, int& width, int& height,
                               std::string& error) {
    const std::uint8_t* bytes = source.memory();
    if (!bytes) {
        if (!reader.hold.holdTotal(std::size_t(source.size()), error)) return WindowRead::Unreadable;
        if (ReadAllBytes(source, reader.frame.fileBytes, error) != 0) return WindowRead::Unreadable;
        bytes = reader.frame.fileBytes.data();
    }
    Frame& frame = reader.frame;
    if (LoadFrameFromMemory(bytes, std::size_t(source.size()), ".bmp", reader.decoder, frame,
                            error) != 0)
        return WindowRead::Unreadable;
    width = frame.width;
    height = frame.height;
    if (width < N || height < N) return WindowRead::TooSmall;
    int x0 = 0, y0 = 0;
    WindowCorner(frame, N, mode, x0, y0);
    CopyWindow(frame, x0, y0, N, window);
    return WindowRead::Ok;
}
