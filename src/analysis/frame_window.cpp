#include "frame_window.h"

#include "bmp_window.h"
#include "fits_window.h"
#include "jpeg_window.h"
#include "ser_window.h"

#include "frame_format.h"

namespace framesifter {

namespace {

// Buffers kept from frame to frame stay small; a large frame's are freed with its budget.
constexpr std::size_t kKeptBufferBytes = std::size_t(4) << 20;

template <typename T>
void FreeIfLarge(std::vector<T>& v) {
    if (v.capacity() * sizeof(T) > kKeptBufferBytes) std::vector<T>().swap(v);
}

void EndFrame(FrameReader& reader) {
    FreeIfLarge(reader.realRows);
    FreeIfLarge(reader.frame.fileBytes);
    FreeIfLarge(reader.frame.bgr);
    FreeIfLarge(reader.scratch);
    if (std::size_t(reader.frame.width) * std::size_t(reader.frame.height) * 4 > kKeptBufferBytes)
        reader.frame.clear();
    reader.decoder.releaseLargeBuffers(kKeptBufferBytes);
    reader.hold.reset();
}

WindowRead WindowFromSource(const ByteSource& source, FrameFormat format, WindowMode mode, int N,
                            FrameReader& reader, IntPlane& window, int& width, int& height,
                            std::string& error) {
    reader.sampleCeiling = 255;
    switch (format) {
    case FrameFormat::Fits:
        return FitsWindowFromSource(source, mode, N, reader, window, width, height, error);
    case FrameFormat::Jpeg:
        return JpegWindowFromSource(source, mode, N, reader, window, width, height, error);
    case FrameFormat::Bmp:
        return BmpWindowFromSource(source, mode, N, reader, window, width, height, error);
    case FrameFormat::Ser:
        error = kVideoWithoutFrame;
        return WindowRead::Unreadable;
    case FrameFormat::Unknown:
        break;
    }
    error = kNotAFrameName;
    return WindowRead::Unreadable;
}

}  // namespace

WindowRead WindowFromMemory(const std::uint8_t* bytes, std::size_t size,
                            const std::string& extension, WindowMode mode, int N,
                            FrameReader& reader, IntPlane& window, int& width, int& height,
                            std::string& error) {
    error.clear();
    reader.real = false;
    const ByteSource source(bytes, size);
    const WindowRead read = WindowFromSource(source, FrameFormatOf(extension), mode, N, reader,
                                             window, width, height, error);
    EndFrame(reader);
    return read;
}

WindowRead ReadFrameWindow(const std::string& path, WindowMode mode, int N, FrameReader& reader,
                           IntPlane& window, int& width, int& height, std::string& error) {
    error.clear();
    reader.real = false;
    std::string video;
    int frame = 0;
    if (SplitFrameEntry(path, video, frame)) {
        ByteSource source;
        if (!source.open(video, error)) {
            error = UnopenedVideoReason(path, video, error);
            return WindowRead::Unreadable;
        }
        const WindowRead read =
            SerWindowFromSource(source, frame, mode, N, reader, window, width, height, error);
        EndFrame(reader);
        return read;
    }
    const FrameFormat format = FrameFormatOf(path);
    if (format == FrameFormat::Unknown) {
        error = NotAFrameReason(path);
        return WindowRead::Unreadable;
    }
    ByteSource source;
    if (!source.open(path, error)) return WindowRead::Unreadable;
    const WindowRead read =
        WindowFromSource(source, format, mode, N, reader, window, width, height, error);
    EndFrame(reader);
    return read;
}

}  // namespace framesifter
