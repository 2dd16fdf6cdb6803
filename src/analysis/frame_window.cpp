#include "frame_window.h"
#include "reason.h"

#include "frame_formats.h"
#include "gzip_frame.h"
#include "window_readers.h"

#include <algorithm>

namespace framesifter {

namespace {

template <typename T>
void FreeIfLarge(std::vector<T>& v, std::size_t keep) {
    if (v.capacity() * sizeof(T) > keep) std::vector<T>().swap(v);
}

// A reader's buffers stay for the next frame up to its share; a larger frame's are freed with
// its budget.
void EndFrame(FrameReader& reader) {
    const std::size_t keep = reader.keptBufferBytes;
    FreeIfLarge(reader.realRows, keep);
    FreeIfLarge(reader.frame.fileBytes, keep);
    FreeIfLarge(reader.frame.bgr, keep);
    FreeIfLarge(reader.scratch, keep);
    FreeIfLarge(reader.fileImage, keep);
    if (std::size_t(reader.frame.width) * std::size_t(reader.frame.height) * 4 > keep)
        reader.frame.clear();
    reader.decoder.releaseLargeBuffers(keep);
    reader.hold.reset();
}

WindowRead WindowFromSource(const ByteSource& source, FrameFormat format, WindowMode mode, int N,
                            FrameReader& reader, IntPlane& window, int& width, int& height,
                            std::string& error) {
    reader.sampleCeiling = 255;
    if (IsVideoFormat(format)) {
        error = VideoWithoutFrameReason(format);
        return WindowRead::Unreadable;
    }
    const WindowReaderRow& row = WindowReaderOf(format);
    if (!row.still) {
        error = Reason(ReasonKind::NotAFrameName);
        return WindowRead::Unreadable;
    }
    return row.still(source, mode, N, reader, window, width, height, error);
}

}  // namespace

WindowRead WindowFromMemory(const std::uint8_t* bytes, std::size_t size,
                            const std::string& extension, WindowMode mode, int N,
                            FrameReader& reader, IntPlane& window, int& width, int& height,
                            std::string& error) {
    error.clear();
    reader.real = false;
    reader.border.clear();
    const ByteSource source(bytes, size);
    const WindowRead read = WindowFromSource(source, FrameFormatOf(extension), mode, N, reader,
                                             window, width, height, error);
    EndFrame(reader);
    return read;
}

WindowRead ReadFrameWindow(const FrameRef& frame, WindowMode mode, int N, FrameReader& reader,
                           IntPlane& window, int& width, int& height, std::string& error) {
    error.clear();
    reader.real = false;
    reader.border.clear();
    const FrameFormat format = FrameFormatOf(frame.file);
    if (frame.inVideo()) {
        ByteSource own;
        const ByteSource* source = nullptr;
        if (reader.videos) {
            reader.video = reader.videos->get(frame.file, format, error);
            if (reader.video) source = &reader.video->source;
        } else {
            reader.video.reset();
            if (own.open(frame.file, error)) source = &own;
        }
        if (!source) {
            error = UnopenedVideoReason(frame, error);
            return WindowRead::Unreadable;
        }
        const WindowRead read = WindowReaderOf(format).video(*source, frame.frame, mode, N, reader,
                                                             window, width, height, error);
        EndFrame(reader);
        return read;
    }
    if (format == FrameFormat::Unknown) {
        error = NotAFrameReason(frame.file);
        return WindowRead::Unreadable;
    }
    // A compressed frame expands within what the reader may hold, and stays held while read.
    ExpansionBound bound = FrameExpansionBound();
    if (MemoryBudget* budget = reader.hold.budget()) {
        bound.limit = std::min(bound.limit, budget->capacity());
        bound.check = [&reader](std::size_t bytes, std::string& why) {
            return reader.hold.holdBase(bytes, why);
        };
    }
    ByteSource source;
    if (!OpenFrameFile(frame.file, bound, source, error)) {
        EndFrame(reader);
        return WindowRead::Unreadable;
    }
    const WindowRead read =
        WindowFromSource(source, format, mode, N, reader, window, width, height, error);
    EndFrame(reader);
    return read;
}

}  // namespace framesifter
