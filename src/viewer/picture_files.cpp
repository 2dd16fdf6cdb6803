#include "picture_files.h"
#include "reason.h"

#include "bmp_reader.h"
#include "fits_general.h"
#include "fits_reader.h"
#include "gzip_frame.h"
#include "jpeg_image.h"
#include "ser_reader.h"
#include "save_through.h"
#include "system_calls.h"
#include "viewer_rules.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace framesifter;

namespace {

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

const std::string kWriterFailed = Reason(ReasonKind::WriterFailed);

std::string NoMemoryFor(int width, int height) {
    return Reason(ReasonKind::NoMemoryPicture, {width, height});
}

}  // namespace

bool LoadJpeg(const QString& path, QImage& picture, std::string& error) {
    JpegImage jpeg;
    if (!jpeg.loadFile(LocalPath(path), error)) return false;
    QImage image(jpeg.width(), jpeg.height(), QImage::Format_BGR888);
    if (image.isNull()) return Fail(error, NoMemoryFor(jpeg.width(), jpeg.height()));
    const std::size_t rowBytes = std::size_t(jpeg.width()) * 3;
    for (int y = 0; y < jpeg.height(); ++y)
        std::memcpy(image.scanLine(y), jpeg.bgr().data() + std::size_t(y) * jpeg.stride(),
                    rowBytes);
    picture = image;
    return true;
}

bool LoadBmpEntry(const QString& path, QImage& picture, std::string& error) {
    if (FrameFormatOf(LocalPath(path)) == FrameFormat::Jpeg) return LoadJpeg(path, picture, error);
    return ReadBmpFile(LocalPath(path), picture, error);
}

// A FITS image the 16-bit path does not take: its physical values through cfitsio.
bool LoadFitsValues(const ByteSource& source, const ValueScale* scale, QImage& picture,
                    std::string& error) {
    FitsHeader header;
    std::vector<double> values;
    if (!ReadFitsValues(source, header, values, error)) return false;
    QImage image(header.width, header.height, QImage::Format_BGR888);
    if (image.isNull()) return Fail(error, NoMemoryFor(header.width, header.height));
    FitsValuesToGrey(values.data(), header.width, header.height, scale, image.bits(),
                     std::size_t(image.bytesPerLine()));
    picture = image;
    return true;
}

bool LoadFits(const QString& path, QImage& picture, std::string& error) {
    return LoadFits(path, nullptr, picture, error);
}

bool LoadFits(const QString& path, const ValueScale* scale, QImage& picture, std::string& error) {
    IntPlane plane;
    int width = 0, height = 0;
    // A header that cannot be read is told by the 16-bit read below.
    std::string probe;
    ByteSource source;
    std::vector<std::uint8_t> blocks;
    FitsHeader header;
    const bool opened = OpenFrameFile(LocalPath(path), source, probe);
    if (opened && ReadFitsHeader(source, blocks, header, probe) && !header.fast)
        return LoadFitsValues(source, scale, picture, error);
    // A file expanded in memory is decoded where it lies rather than expanded again.
    const bool decoded = opened && source.memory()
                             ? DecodeFitsFrame(source.memory(), std::size_t(source.size()), plane,
                                               width, height, error)
                             : ReadFitsFrame(LocalPath(path), plane, width, height, error);
    if (!decoded) return false;
    QImage image(width, height, QImage::Format_BGR888);
    if (image.isNull()) {
        FreeIntPlane(width, height, plane);
        return Fail(error, NoMemoryFor(width, height));
    }
    const bool drawn = FitsToGrey(plane, width, height, scale, image.bits(),
                                  std::size_t(image.bytesPerLine()), error);
    FreeIntPlane(width, height, plane);
    if (!drawn) return false;
    picture = image;
    return true;
}

namespace {

int SerSample(const std::uint8_t* p, const SerHeader& header) {
    if (header.bytesPerSample == 1) return p[0];
    return header.bigEndianSamples ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8);
}

// Calls row(y, bytes) for every stored row of frame `index`, a few megabytes read at a time.
template <typename Row>
bool ForEachSerRow(const ByteSource& source, const SerHeader& header, int index,
                   std::vector<std::uint8_t>& scratch, std::string& error, Row row) {
    const int step = int(std::max<std::size_t>(1, (std::size_t(4) << 20) / header.rowBytes()));
    for (int y0 = 0; y0 < header.height; y0 += step) {
        const int count = std::min(step, header.height - y0);
        const std::uint8_t* rows = ViewSerRows(source, header, index, y0, count, scratch, error);
        if (!rows) return false;
        for (int k = 0; k < count; ++k) row(y0 + k, rows + std::size_t(k) * header.rowBytes());
    }
    return true;
}

}  // namespace

bool LoadSerFrame(const FrameRef& ref, QImage& picture, std::string& error) {
    return LoadSerFrame(ref, nullptr, picture, error);
}

bool LoadSerFrame(const FrameRef& ref, const ValueScale* scale, QImage& picture,
                  std::string& error) {
    const int frame = ref.frame;
    ByteSource source;
    SerHeader header;
    if (!ref.inVideo()) return Fail(error, Reason(ReasonKind::NotSerFrame));
    if (!source.open(ref.file, error) || !ReadSerHeader(source, header, error)) return false;
    if (frame > header.frameCount)
        return Fail(error, Reason(ReasonKind::NoFrameInVideo, {frame, header.frameCount}));
    QImage image(header.width, header.height, QImage::Format_RGB888);
    if (image.isNull()) return Fail(error, NoMemoryFor(header.width, header.height));
    const int index = frame - 1;
    const std::size_t samples = std::size_t(header.width) * std::size_t(header.planes);
    const std::size_t step = header.bytesPerSample;
    std::vector<std::uint8_t> scratch;
    double white = double((1 << std::min(header.depth, 8)) - 1);
    const bool shared = scale && header.depth > 8;
    if (header.depth > 8 && !shared) {
        int largest = 0;
        const bool read =
            ForEachSerRow(source, header, index, scratch, error, [&](int, const std::uint8_t* row) {
                for (std::size_t i = 0; i < samples; ++i)
                    largest = std::max(largest, SerSample(row + i * step, header));
            });
        if (!read) return false;
        white = largest;
    }
    // RGB order on screen whatever the stored order; mono and Bayer as grey.
    const bool bgr = header.colour == SerColour::Bgr;
    const bool read =
        ForEachSerRow(source, header, index, scratch, error, [&](int y, const std::uint8_t* row) {
            std::uint8_t* out = image.scanLine(y);
            for (int x = 0; x < header.width; ++x) {
                const std::uint8_t* pixel = row + std::size_t(x) * header.pixelBytes();
                for (int c = 0; c < 3; ++c) {
                    const int plane = header.isColour() ? (bgr ? 2 - c : c) : 0;
                    const int v = SerSample(pixel + std::size_t(plane) * step, header);
                    out[3 * x + c] = shared      ? ScaledGrey(v, *scale)
                                     : white > 0 ? std::uint8_t(std::min(255.0, 255.0 * v / white))
                                                 : 0;
                }
            }
        });
    if (!read) return false;
    picture = image;
    return true;
}

bool LoadPicture(const FrameRef& frame, FrameFormat format, QImage& picture, std::string& error) {
    return LoadPicture(frame, format, nullptr, picture, error);
}

bool LoadPicture(const FrameRef& frame, FrameFormat format, const ValueScale* scale,
                 QImage& picture, std::string& error) {
    const QString path = QFile::decodeName(frame.file.c_str());
    switch (format) {
    case FrameFormat::Bmp:
        return LoadBmpEntry(path, picture, error);
    case FrameFormat::Fits:
        return LoadFits(path, scale, picture, error);
    case FrameFormat::Jpeg:
        return LoadJpeg(path, picture, error);
    case FrameFormat::Ser:
        return LoadSerFrame(frame, scale, picture, error);
    case FrameFormat::Unknown:
        break;
    }
    return Fail(error, Reason(ReasonKind::UnknownFileKind));
}

bool SaveBmp(const QString& path, const QImage& picture, std::string& error) {
    if (picture.isNull()) return Fail(error, Reason(ReasonKind::NoPicture));
    // The BMP writer keeps 1- and 8-bit palettes; everything else becomes 24-bit.
    QImage out = picture;
    const bool palette =
        out.depth() == 1 || (out.format() == QImage::Format_Indexed8 && out.colorCount() <= 256);
    if (!palette) out = picture.convertToFormat(QImage::Format_RGB32);
    // Written straight into the file: a large picture is not held twice in memory.
    return SaveThrough(
        path, [&](QSaveFile& file) { return out.save(&file, "BMP"); }, kWriterFailed, error);
}

bool SaveJpeg(const QString& path, const QImage& picture, int quality, std::string& error) {
    if (picture.isNull()) return Fail(error, Reason(ReasonKind::NoPicture));
    const QImage bgr = picture.convertToFormat(QImage::Format_BGR888);
    if (bgr.isNull()) return Fail(error, Reason(ReasonKind::NoMemoryConvert));

    std::vector<std::uint8_t> file;
    if (!JpegImage::encode(bgr.constBits(), bgr.width(), bgr.height(),
                           std::size_t(bgr.bytesPerLine()), quality, file, error))
        return false;
    return SaveThrough(
        path,
        [&](QSaveFile& out) {
            const qint64 size = qint64(file.size());
            return out.write(reinterpret_cast<const char*>(file.data()), size) == size;
        },
        kWriterFailed, error);
}
