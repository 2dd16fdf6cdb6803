#include "frame.h"

#include "fits_reader.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The same bound as JPEG and FITS frames.
constexpr long long kMaxFramePixels = 16000LL * 16000LL;
// QImage holds a 24-bit BMP as 32 bits per pixel; 16000 x 16000 of those is 1000 MiB.
constexpr int kBmpAllocationLimitMiB = 1024;
// Larger than any frame of at most 16000 x 16000 pixels in these formats can be.
constexpr long long kMaxFileBytes = 1LL << 30;

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return text;
}

std::uint32_t Le32(const char* p) {
    return std::uint32_t(std::uint8_t(p[0])) | std::uint32_t(std::uint8_t(p[1])) << 8 |
           std::uint32_t(std::uint8_t(p[2])) << 16 | std::uint32_t(std::uint8_t(p[3])) << 24;
}
std::uint16_t Le16(const char* p) {
    return std::uint16_t(std::uint8_t(p[0]) | std::uint8_t(p[1]) << 8);
}

// Checks the BMP headers before the image reader runs: the declared size against the
// frame limit, and for uncompressed data that all rows are in the file. (Qt's reader
// accepts a file cut short and leaves the missing rows black, which would be scored as
// if the frame were real.) Anything this does not understand is left to the reader.
bool CheckBmpHeaders(const QByteArray& head, qint64 fileSize, std::string& error) {
    if (head.size() < 26 || head[0] != 'B' || head[1] != 'M') return true;
    const char* p = head.constData();
    const std::uint32_t dataOffset = Le32(p + 10);
    const std::uint32_t infoSize = Le32(p + 14);
    long long width = 0;
    long long height = 0;
    int bits = 0;
    std::uint32_t compression = 0;
    if (infoSize == 12) {
        width = Le16(p + 18);
        height = Le16(p + 20);
        bits = Le16(p + 24);
    } else if (infoSize >= 40 && head.size() >= 34) {
        width = std::int32_t(Le32(p + 18));
        height = std::int32_t(Le32(p + 22));
        bits = Le16(p + 28);
        compression = Le32(p + 30);
    } else {
        return true;
    }
    if (height < 0) height = -height;
    if (width * height > kMaxFramePixels) {
        error = "image too large: " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels declared (at most 16000 x 16000)";
        return false;
    }
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    if (uncompressed && width > 0 && bits > 0 && bits <= 32) {
        const long long rowBytes = (width * bits + 31) / 32 * 4;
        const long long needed = static_cast<long long>(dataOffset) + rowBytes * height;
        if (fileSize < needed) {
            error = "truncated: " + std::to_string(fileSize) + " of " + std::to_string(needed) +
                    " bytes present";
            return false;
        }
    }
    return true;
}

int LoadBmp(const std::uint8_t* bytes, std::size_t size, Frame& frame, std::string& error) {
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes),
                                                    qsizetype(size));
    if (!CheckBmpHeaders(data.left(64), qint64(size), error)) return 1;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    // Only the BMP reader: a file of another format under a .bmp name is refused.
    QImageReader reader(&buffer, "bmp");
    reader.setAutoDetectImageFormat(false);
    reader.setAllocationLimit(kBmpAllocationLimitMiB);
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        error = "not a readable BMP file: " + reader.errorString().toStdString();
        return 1;
    }
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

std::string OsError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

int ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = OsError("cannot open");
        return 1;
    }
    struct stat st {};
    int result = 1;
    if (::fstat(fd, &st) != 0) {
        error = OsError("cannot examine");
    } else if (S_ISDIR(st.st_mode)) {
        error = "cannot open: Is a directory";
    } else if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
    } else if (st.st_size > kMaxFileBytes) {
        error = "file too large: " + std::to_string(st.st_size) + " bytes";
    } else {
        bytes.resize(std::size_t(st.st_size));
        std::size_t done = 0;
        bool failed = false;
        while (done < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) failed = true;
            if (got <= 0) break;
            done += std::size_t(got);
        }
        if (failed) {
            error = OsError("read error");
        } else {
            bytes.resize(done);   // a file that shrank meanwhile is judged on what it holds
            result = 0;
        }
    }
    ::close(fd);
    return result;
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
