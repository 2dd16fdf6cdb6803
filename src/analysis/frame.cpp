#include "frame.h"

#include "bmp_reader.h"
#include "byte_source.h"
#include "fits_reader.h"

#include <QImage>

#include <cstring>

namespace {

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return text;
}

int LoadBmp(const std::uint8_t* bytes, std::size_t size, Frame& frame, std::string& error) {
    QImage image;
    if (ReadBmp(bytes, size, image, error) != 0) return 1;
    // Palette and 16/32-bit images take their colours here; alpha is dropped.
    if (image.format() != QImage::Format_BGR888) image.convertTo(QImage::Format_BGR888);
    if (image.isNull()) {
        error = "out of memory converting the BMP image";
        return 1;
    }
    const int width = image.width();
    const int height = image.height();
    const std::size_t stride = std::size_t(width) * 3;
    try {
        frame.bgr.resize(stride * std::size_t(height));
    } catch (const std::bad_alloc&) {
        frame.bgr.clear();
        error = "out of memory for the BMP pixels";
        return 1;
    }
    for (int y = 0; y < height; ++y) {
        std::memcpy(frame.bgr.data() + stride * std::size_t(y), image.constScanLine(y), stride);
    }
    frame.kind = FrameKind::Bitmap;
    frame.width = width;
    frame.height = height;
    return 0;
}

int LoadJpeg(const std::uint8_t* bytes, std::size_t size, JpegImage& decoder, Frame& frame,
             std::string& error) {
    if (!decoder.loadMemory(bytes, size)) {
        error = decoder.error();
        return 1;
    }
    try {
        frame.bgr.assign(decoder.bgr().begin(), decoder.bgr().end());
    } catch (const std::bad_alloc&) {
        frame.bgr.clear();
        error = "out of memory for the JPEG pixels";
        return 1;
    }
    frame.kind = FrameKind::Bitmap;
    frame.width = decoder.width();
    frame.height = decoder.height();
    return 0;
}

int LoadFits(const std::uint8_t* bytes, std::size_t size, Frame& frame, std::string& error) {
    int width = 0;
    int height = 0;
    if (DecodeFitsFrame(bytes, size, frame.plane, width, height, error) != 0) return 1;
    frame.kind = FrameKind::Fits;
    frame.width = width;
    frame.height = height;
    return 0;
}

}  // namespace

int ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    ByteSource source;
    if (source.open(path, error) != 0) return 1;
    return ReadAllBytes(source, bytes, error);
}

std::string FileExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return {};
    return path.substr(dot);
}

int LoadFrameFromMemory(const std::uint8_t* bytes, std::size_t size,
                        const std::string& extension, JpegImage& decoder, Frame& frame,
                        std::string& error) {
    frame.clear();
    error.clear();
    const std::string ext = LowerAscii(extension);
    int result = 1;
    if (ext == ".bmp") {
        result = LoadBmp(bytes, size, frame, error);
    } else if (ext == ".jpg" || ext == ".jpeg") {
        result = LoadJpeg(bytes, size, decoder, frame, error);
    } else if (ext == ".fit" || ext == ".fts" || ext == ".fits") {
        result = LoadFits(bytes, size, frame, error);
    } else {
        error = "not a BMP, JPEG or FITS file name";
    }
    if (result != 0) frame.clear();
    return result;
}

int LoadFrameForAnalysis(const std::string& path, const std::string& extension,
                         JpegImage& decoder, Frame& frame, std::string& error) {
    const std::string ext = LowerAscii(extension);
    if (ext != ".bmp" && ext != ".jpg" && ext != ".jpeg" && ext != ".fit" && ext != ".fts" &&
        ext != ".fits") {
        frame.clear();
        error = "not a BMP, JPEG or FITS file name";
        return 1;
    }
    if (ReadWholeFile(path, frame.fileBytes, error) != 0) {
        frame.clear();
        return 1;
    }
    return LoadFrameFromMemory(frame.fileBytes.data(), frame.fileBytes.size(), extension,
                               decoder, frame, error);
}
