#include "picture_files.h"

#include "bmp_reader.h"
#include "fits_reader.h"
#include "jpeg_image.h"
#include "viewer_rules.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

bool HasJpegExtension(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg");
}

}  // namespace

bool LoadJpeg(const QString& path, QImage& picture, QString& error) {
    JpegImage jpeg;
    if (!jpeg.loadFile(LocalPath(path))) {
        error = QString::fromStdString(jpeg.error());
        return false;
    }
    QImage image(jpeg.width(), jpeg.height(), QImage::Format_BGR888);
    if (image.isNull()) {
        error = QStringLiteral("not enough memory for a %1 x %2 picture")
                    .arg(jpeg.width()).arg(jpeg.height());
        return false;
    }
    const std::size_t rowBytes = std::size_t(jpeg.width()) * 3;
    for (int y = 0; y < jpeg.height(); ++y)
        std::memcpy(image.scanLine(y), jpeg.bgr().data() + std::size_t(y) * jpeg.stride(), rowBytes);
    picture = image;
    return true;
}

bool LoadBmpEntry(const QString& path, QImage& picture, QString& error) {
    if (HasJpegExtension(path)) return LoadJpeg(path, picture, error);
    std::string reason;
    if (ReadBmpFile(LocalPath(path), picture, reason) != 0) {
        error = QString::fromStdString(reason);
        return false;
    }
    return true;
}

bool LoadFits(const QString& path, QImage& picture, QString& error) {
    IntPlane plane;
    int width = 0, height = 0;
    std::string reason;
    if (ReadFitsFrame(LocalPath(path), plane, width, height, reason) != 0) {
        error = QString::fromStdString(reason);
        return false;
    }
    QImage image(width, height, QImage::Format_BGR888);
    if (image.isNull()) {
        FreeIntPlane(width, height, plane);
        error = QStringLiteral("not enough memory for a %1 x %2 picture").arg(width).arg(height);
        return false;
    }
    const int failed = FitsToGrey(plane, width, height, image.bits(), std::size_t(image.bytesPerLine()));
    FreeIntPlane(width, height, plane);
    if (failed) {
        error = QStringLiteral("the image data do not match the size %1 x %2").arg(width).arg(height);
        return false;
    }
    picture = image;
    return true;
}

bool LoadPicture(const QString& path, OpenKind kind, QImage& picture, QString& error) {
    switch (kind) {
    case OpenKind::Bmp: return LoadBmpEntry(path, picture, error);
    case OpenKind::Fits: return LoadFits(path, picture, error);
    case OpenKind::Jpeg: return LoadJpeg(path, picture, error);
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
    const bool palette = out.depth() == 1 || (out.format() == QImage::Format_Indexed8 &&
                                               out.colorCount() <= 256);
    if (!palette)
        out = picture.convertToFormat(QImage::Format_RGB32);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    if (!out.save(&file, "BMP")) {
        error = file.error() != QFileDevice::NoError ? file.errorString()
                                                     : QStringLiteral("the BMP writer failed");
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
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
    // Replace what a link points at, not the link, as the BMP writer does.
    QFileInfo target(path);
    const QString finalPath = target.isSymLink() ? target.symLinkTarget() : target.absoluteFilePath();
    QTemporaryFile temp(QFileInfo(finalPath).absolutePath() + QStringLiteral("/.framesifter-XXXXXX.tmp"));
    if (!temp.open()) {
        error = temp.errorString();
        return false;
    }
    const QString tempPath = temp.fileName();
    temp.close();

    std::string reason;
    if (!JpegImage::saveFile(LocalPath(tempPath), bgr.constBits(), bgr.width(), bgr.height(),
                             std::size_t(bgr.bytesPerLine()), quality, reason)) {
        error = QString::fromStdString(reason);
        return false;  // the temporary file goes with `temp`
    }

    const std::string tempLocal = LocalPath(tempPath);
    const std::string finalLocal = LocalPath(finalPath);
    // The new file gets the old one's permissions, or the usual ones for a new file.
    struct stat old {};
    mode_t mode;
    if (::stat(finalLocal.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::chmod(tempLocal.c_str(), mode);
    const int fd = ::open(tempLocal.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    if (::rename(tempLocal.c_str(), finalLocal.c_str()) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    temp.setAutoRemove(false);
    return true;
}
