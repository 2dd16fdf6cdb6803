#pragma once
// Small image files for the viewer's tests.

#include "file_io.h"
#include "fits_writer.h"
#include "jpeg_image.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

using namespace framesifter;

inline std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A FITS file of unsigned 16-bit values, row y = 0 first.
inline bool WriteFitsFile(const QString& path, const std::vector<std::uint16_t>& values, int width,
                          int height) {
    std::string error;
    std::vector<std::uint8_t> file;
    return EncodeFits16(values.data(), width, height, file, error) &&
           ReplaceFile(Local(path), file.data(), file.size(), error);
}

// A picture whose pixels differ from place to place, so that scaling or a lost row shows.
inline QImage Pattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7) & 255, (y * 5) & 255, ((x + y) * 3) & 255));
    return image;
}

inline bool WriteJpegFile(const QString& path, const QImage& picture, int quality = 90) {
    const QImage bgr = picture.convertToFormat(QImage::Format_BGR888);
    std::string error;
    std::vector<std::uint8_t> file;
    return JpegImage::encode(bgr.constBits(), bgr.width(), bgr.height(),
                             std::size_t(bgr.bytesPerLine()), quality, file, error) &&
           ReplaceFile(Local(path), file.data(), file.size(), error);
}

inline QImage PaletteImage(int width, int height) {
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> colours;
    for (int i = 0; i < 256; ++i) colours << qRgb(i, 255 - i, (i * 3) & 255);
    image.setColorTable(colours);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.setPixel(x, y, uint((x + 3 * y) & 255));
    return image;
}

inline QByteArray FileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Bits per pixel of a BMP file (from its info header).
inline int BmpBitsPerPixel(const QByteArray& bytes) {
    if (bytes.size() < 30 || !bytes.startsWith("BM")) return -1;
    return uchar(bytes[28]) | (uchar(bytes[29]) << 8);
}

// The 64 entries of every 8-bit DQT table in a JPEG file, in file (zig-zag) order, by table
// number; also reports whether a baseline SOF0 with three components was seen.
struct JpegTables {
    std::vector<std::vector<int>> tables = std::vector<std::vector<int>>(4);
    bool baseline = false;
    bool progressive = false;
    int components = 0;
};
inline JpegTables ReadJpegTables(const QByteArray& b) {
    JpegTables t;
    int i = 2;
    while (i + 4 <= b.size() && uchar(b[i]) == 0xFF) {
        const int marker = uchar(b[i + 1]);
        const int length = (uchar(b[i + 2]) << 8) | uchar(b[i + 3]);
        if (marker == 0xDA) break;
        const int end = i + 2 + length;
        if (end > b.size()) break;
        if (marker == 0xDB) {
            for (int p = i + 4; p + 65 <= end; p += 65) {
                const int id = uchar(b[p]) & 15;
                if ((uchar(b[p]) >> 4) != 0 || id > 3) break;
                t.tables[id].clear();
                for (int k = 0; k < 64; ++k) t.tables[id].push_back(uchar(b[p + 1 + k]));
            }
        } else if (marker == 0xC0 || marker == 0xC2) {
            t.baseline = marker == 0xC0;
            t.progressive = marker == 0xC2;
            t.components = uchar(b[i + 9]);
        }
        i = end;
    }
    return t;
}
