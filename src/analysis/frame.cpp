#include "frame.h"
#include "reason.h"

#include "bmp_reader.h"
#include "fits_reader.h"

#include <QImage>

#include <cstring>

namespace framesifter {

namespace {

bool LoadBmp(const std::uint8_t* bytes, std::size_t size, Frame& frame, std::string& error) {
    QImage image;
    if (!ReadBmp(bytes, size, image, error)) return false;
    // Palette and 16/32-bit images take their colours here; alpha is dropped.
    if (image.format() != QImage::Format_BGR888) image.convertTo(QImage::Format_BGR888);
    if (image.isNull()) return Fail(error, Reason(ReasonKind::NoMemoryBmpConvert));
    const int width = image.width();
    const int height = image.height();
    const std::size_t stride = std::size_t(width) * 3;
    try {
        frame.bgr.resize(stride * std::size_t(height));
    } catch (const std::bad_alloc&) {
        frame.bgr.clear();
        return Fail(error, Reason(ReasonKind::NoMemoryBmpPixels));
    }
    for (int y = 0; y < height; ++y) {
        std::memcpy(frame.bgr.data() + stride * std::size_t(y), image.constScanLine(y), stride);
    }
    frame.kind = FrameKind::Bitmap;
    frame.width = width;
    frame.height = height;
    return true;
}

bool LoadJpeg(const std::uint8_t* bytes, std::size_t size, JpegImage& decoder, Frame& frame,
              std::string& error) {
    if (!decoder.loadMemory(bytes, size, error)) return false;
    try {
        frame.bgr.assign(decoder.bgr().begin(), decoder.bgr().end());
    } catch (const std::bad_alloc&) {
        frame.bgr.clear();
        return Fail(error, Reason(ReasonKind::NoMemoryJpegPixels));
    }
    frame.kind = FrameKind::Bitmap;
    frame.width = decoder.width();
    frame.height = decoder.height();
    return true;
}

bool LoadFits(const std::uint8_t* bytes, std::size_t size, Frame& frame, std::string& error) {
    int width = 0;
    int height = 0;
    if (!DecodeFitsFrame(bytes, size, frame.plane, width, height, error)) return false;
    frame.kind = FrameKind::Fits;
    frame.width = width;
    frame.height = height;
    return true;
}

bool LoadByFormat(const std::uint8_t* bytes, std::size_t size, FrameFormat format,
                  JpegImage& decoder, Frame& frame, std::string& error) {
    switch (format) {
    case FrameFormat::Bmp:
        return LoadBmp(bytes, size, frame, error);
    case FrameFormat::Jpeg:
        return LoadJpeg(bytes, size, decoder, frame, error);
    case FrameFormat::Fits:
        return LoadFits(bytes, size, frame, error);
    case FrameFormat::Ser:
    case FrameFormat::Unknown:
        break;
    }
    if (IsVideoFormat(format)) return Fail(error, VideoWithoutFrameReason(format));
    return Fail(error, Reason(ReasonKind::NotAFrameName));
}

}  // namespace

bool LoadFrameFromMemory(const std::uint8_t* bytes, std::size_t size, const std::string& extension,
                         JpegImage& decoder, Frame& frame, std::string& error) {
    frame.clear();
    error.clear();
    const bool loaded = LoadByFormat(bytes, size, FrameFormatOf(extension), decoder, frame, error);
    if (!loaded) frame.clear();
    return loaded;
}

bool LoadFrameForAnalysis(const std::string& path, const std::string& extension, JpegImage& decoder,
                          Frame& frame, std::string& error) {
    if (FrameFormatOf(extension) == FrameFormat::Unknown) {
        frame.clear();
        return Fail(error, Reason(ReasonKind::NotAFrameName));
    }
    if (!ReadWholeFile(path, frame.fileBytes, error)) {
        frame.clear();
        return false;
    }
    return LoadFrameFromMemory(frame.fileBytes.data(), frame.fileBytes.size(), extension, decoder,
                               frame, error);
}

}  // namespace framesifter
