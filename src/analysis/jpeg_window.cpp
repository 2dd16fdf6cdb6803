#include "jpeg_window.h"
#include "reason.h"

#include "file_io.h"
#include "green_peak.h"
#include "window_copy.h"

#include <algorithm>
#include <new>

namespace framesifter {

namespace {

// Holds from the reader's budget what the decode will allocate, on top of what it already
// holds (the file's bytes), plus `extraPerPixel` bytes per pixel for the caller.
JpegImage::LayoutCheck HoldForDecode(FrameReader& reader, std::size_t extraPerPixel) {
    const std::size_t held = reader.hold.held();
    return [&reader, held, extraPerPixel](const JpegImage::Layout& layout, std::string& reason) {
        const std::size_t pixels = std::size_t(layout.width) * std::size_t(layout.height);
        return reader.hold.holdTotal(held + layout.decodeBytes + pixels * extraPerPixel, reason);
    };
}

// Centre mode needs only the window's rows and block columns of a JPEG; libjpeg skips the
// rest. The pixels are those of a full decode.
WindowRead JpegCentreWindow(const std::uint8_t* bytes, std::size_t size, int N, FrameReader& reader,
                            IntPlane& window, int& width, int& height, std::string& error) {
    JpegImage& jpeg = reader.decoder;
    const JpegImage::LayoutCheck check = HoldForDecode(reader, 0);
    if (!jpeg.loadMemoryCentre(bytes, size, N, N, &check, error)) return WindowRead::Unreadable;
    width = jpeg.width();
    height = jpeg.height();
    if (width < N || height < N) return WindowRead::TooSmall;
    if (jpeg.regionWidth() != N || jpeg.regionHeight() != N || jpeg.regionX() != (width - N) / 2 ||
        jpeg.regionY() != (height - N) / 2) {
        error = Reason(ReasonKind::JpegRegionDiffers);
        return WindowRead::Unreadable;
    }
    SamplesToWindow(jpeg.bgr().data() + 1, std::ptrdiff_t(jpeg.stride()), 3, N, window);
    return WindowRead::Ok;
}

// Copies the green channel of `count` BGR rows into `green` (one byte per pixel, rows of
// `width`) while looking for the peak.
void TakeGreenRows(const std::uint8_t* bgr, std::size_t stride, int first, int count, int width,
                   std::uint8_t* green, GreenPeak& peak) {
    for (int r = 0; r < count; ++r) {
        const std::uint8_t* in = bgr + std::size_t(r) * stride + 1;
        std::uint8_t* out = green + std::size_t(first + r) * std::size_t(width);
        for (int x = 0; x < width; ++x) out[x] = in[std::size_t(x) * 3];
        peak.offerRow(width, first + r, [out](int x) { return out[x]; });
    }
}

// Peak mode: the window centred on the brightest green pixel, moved inside the image.
WindowRead JpegPeakWindow(const std::uint8_t* bytes, std::size_t size, int N, FrameReader& reader,
                          IntPlane& window, int& width, int& height, std::string& error) {
    std::vector<std::uint8_t>& green = reader.scratch;
    const JpegImage::LayoutCheck hold = HoldForDecode(reader, 1);
    int rowLength = 0;
    const JpegImage::LayoutCheck check = [&](const JpegImage::Layout& layout, std::string& reason) {
        if (!hold(layout, reason)) return false;
        try {
            green.resize(std::size_t(layout.width) * std::size_t(layout.height));
        } catch (const std::bad_alloc&) {
            reason = Reason(ReasonKind::NoMemoryPixels, {layout.width, layout.height});
            return false;
        }
        rowLength = layout.width;
        return true;
    };
    GreenPeak peak;
    const JpegImage::RowSink sink = [&](int first, int count, const std::uint8_t* bgr,
                                        std::size_t stride) {
        TakeGreenRows(bgr, stride, first, count, rowLength, green.data(), peak);
    };
    JpegImage& jpeg = reader.decoder;
    if (!jpeg.readMemoryRows(bytes, size, check, sink, error)) return WindowRead::Unreadable;
    width = jpeg.width();
    height = jpeg.height();
    if (width < N || height < N) return WindowRead::TooSmall;
    int x0 = 0, y0 = 0;
    CornerAtGreenPeak(peak, width, height, N, x0, y0);
    reader.border.start(width, height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = green.data() + std::size_t(y) * std::size_t(width);
        reader.border.offerRow(y, [row](int x) { return row[x]; });
    }
    SamplesToWindow(green.data() + std::size_t(y0) * std::size_t(width) + std::size_t(x0),
                    std::ptrdiff_t(width), 1, N, window);
    return WindowRead::Ok;
}

}  // namespace

WindowRead JpegWindowFromSource(const ByteSource& source, WindowMode mode, int N,
                                FrameReader& reader, IntPlane& window, int& width, int& height,
                                std::string& error) {
    const std::uint8_t* bytes = source.memory();
    if (!bytes) {
        // A file that does not start as a JPEG is refused before its size is reserved or read.
        const std::uint8_t* start =
            source.view(0, std::min<std::uint64_t>(source.size(), 3), reader.scratch, error);
        if (!start) return WindowRead::Unreadable;
        if (source.size() < 3 || start[0] != 0xFF || start[1] != 0xD8 || start[2] != 0xFF) {
            error = Reason(ReasonKind::NotJpeg);

            return WindowRead::Unreadable;
        }
        if (!reader.hold.holdTotal(std::size_t(source.size()), error))
            return WindowRead::Unreadable;
        if (!ReadAllBytes(source, reader.frame.fileBytes, error)) return WindowRead::Unreadable;
        bytes = reader.frame.fileBytes.data();
    }
    const std::size_t size = std::size_t(source.size());
    if (mode == WindowMode::Centre)
        return JpegCentreWindow(bytes, size, N, reader, window, width, height, error);
    return JpegPeakWindow(bytes, size, N, reader, window, width, height, error);
}

}  // namespace framesifter
