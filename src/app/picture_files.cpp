#include "picture_files.h"

#include "bmp_reader.h"
#include "fits_reader.h"
#include "jpeg_image.h"
#include "viewer_rules.h"

#include "frame_format.h"

#include <QFile>
#include <QSaveFile>

#include <cstring>
#include <vector>

using namespace framesifter;

namespace {

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The target is replaced only once the new file is complete; what a link points at is
// replaced, not the link. `write` fills the file and returns false when it could not.
template <typename Write>
bool SaveThrough(const QString& path, QString& error, Write write) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    if (!write(file)) {
        error = file.error() != QFileDevice::NoError ? file.errorString()
                                                     : QStringLiteral("the picture writer failed");
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace

bool LoadJpeg(const QString& path, QImage& picture, QString& error) {
    JpegImage jpeg;
    std::string reason;
    if (!jpeg.loadFile(LocalPath(path), reason)) {
        error = QString::fromStdString(reason);
        return false;
    }
    QImage image(jpeg.width(), jpeg.height(), QImage::Format_BGR888);
    if (image.isNull()) {
        error = QStringLiteral("not enough memory for a %1 x %2 picture")
                    .arg(jpeg.width())
                    .arg(jpeg.height());
        return false;
    }
    const std::size_t rowBytes = std::size_t(jpeg.width()) * 3;
    for (int y = 0; y < jpeg.height(); ++y)
        std::memcpy(image.scanLine(y), jpeg.bgr().data() + std::size_t(y) * jpeg.stride(),
                    rowBytes);
    picture = image;
    return true;
}

bool LoadBmpEntry(const QString& path, QImage& picture, QString& error) {
    if (FrameFormatOf(LocalPath(path)) == FrameFormat::Jpeg) return LoadJpeg(path, picture, error);
    std::string reason;
    if (!ReadBmpFile(LocalPath(path), picture, reason)) {
        error = QString::fromStdString(reason);
        return false;
    }
    return true;
}

bool LoadFits(const QString& path, QImage& picture, QString& error) {
    IntPlane plane;
    int width = 0, height = 0;
    std::string reason;
    if (!ReadFitsFrame(LocalPath(path), plane, width, height, reason)) {
        error = QString::fromStdString(reason);
        return false;
    }
    QImage image(width, height, QImage::Format_BGR888);
    if (image.isNull()) {
        FreeIntPlane(width, height, plane);
        error = QStringLiteral("not enough memory for a %1 x %2 picture").arg(width).arg(height);
        return false;
    }
    const bool drawn =
        FitsToGrey(plane, width, height, image.bits(), std::size_t(image.bytesPerLine()));
    FreeIntPlane(width, height, plane);
    if (!drawn) {
        error =
            QStringLiteral("the image data do not match the size %1 x %2").arg(width).arg(height);
        return false;
    }
    picture = image;
    return true;
}

bool LoadPicture(const QString& path, OpenKind kind, QImage& picture, QString& error) {
    switch (kind) {
    case OpenKind::Bmp:
        return LoadBmpEntry(path, picture, error);
    case OpenKind::Fits:
        return LoadFits(path, picture, error);
    case OpenKind::Jpeg:
        return LoadJpeg(path, picture, error);
    }
    error = QStringLiteral("unknown file kind");
    return false;
}

bool SaveBmp(const QString& path, const QImage& picture, QString& error) {
    if (picture.isNull()) {
        error = QStringLiteral("no picture");
        return false;
    }
    // The BMP writer keeps 1- and 8-bit palettes; everything else becomes 24-bit.
    QImage out = picture;
    const bool palette =
        out.depth() == 1 || (out.format() == QImage::Format_Indexed8 && out.colorCount() <= 256);
    if (!palette) out = picture.convertToFormat(QImage::Format_RGB32);
    // Written straight into the file: a large picture is not held twice in memory.
    return SaveThrough(path, error, [&](QSaveFile& file) { return out.save(&file, "BMP"); });
}

bool SaveJpeg(const QString& path, const QImage& picture, int quality, QString& error) {
    if (picture.isNull()) {
        error = QStringLiteral("no picture");
        return false;
    }
    const QImage bgr = picture.convertToFormat(QImage::Format_BGR888);
    if (bgr.isNull()) {
        error = QStringLiteral("not enough memory to convert the picture");
        return false;
    }
    std::vector<std::uint8_t> file;
    std::string reason;
    if (!JpegImage::encode(bgr.constBits(), bgr.width(), bgr.height(),
                           std::size_t(bgr.bytesPerLine()), quality, file, reason)) {
        error = QString::fromStdString(reason);
        return false;
    }
    return SaveThrough(path, error, [&](QSaveFile& out) {
        const qint64 size = qint64(file.size());
        return out.write(reinterpret_cast<const char*>(file.data()), size) == size;
    });
}
