#include "fits_general.h"
#include "reason.h"

#include "file_io.h"
#include "fits_library.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <mutex>

namespace framesifter {

namespace {

std::mutex g_fitsMutex;

// Locks only when the library is not reentrant as built.
std::unique_lock<std::mutex> LibraryLock() {
    static const bool reentrant = Fits().loaded && Fits().isReentrant() != 0;
    return reentrant ? std::unique_lock<std::mutex>() : std::unique_lock<std::mutex>(g_fitsMutex);
}

// `what` takes the library's own text as its value.
bool LibraryFail(int status, ReasonKind what, std::string& error) {
    char text[FLEN_STATUS] = {};
    Fits().fits_get_errstatus(status, text);
    Fits().fits_clear_errmsg();
    return Fail(error, Reason(what, {text}));
}

fitsfile* File(void* p) { return static_cast<fitsfile*>(p); }

}  // namespace

FitsImageFile::~FitsImageFile() { close(); }

void FitsImageFile::close() {
    gzipColumns_.clear();
    hcompressColumn_ = 0;
    if (!file_) return;
    int status = 0;
    auto lock = LibraryLock();
    Fits().fits_close_file(File(file_), &status);
    file_ = nullptr;
}

bool FitsImageFile::open(const ByteSource& source, const FitsHeader& header, std::string& error) {
    close();
    if (!Fits().loaded) return Fail(error, Fits().error);
    header_ = header;
    fitsfile* f = nullptr;
    int status = 0;
    auto lock = LibraryLock();
    if (source.memory()) {
        // The library keeps these two addresses and reads through them until it closes.
        memoryBytes_ = const_cast<std::uint8_t*>(source.memory());
        memorySize_ = std::size_t(source.size());
        Fits().fits_open_memfile(&f, "frame", READONLY, &memoryBytes_, &memorySize_, 0, nullptr,
                                 &status);
    } else {
        // The descriptor the checks were made on: never a name cfitsio would interpret.
        const std::string path = "/proc/self/fd/" + std::to_string(source.descriptor());
        Fits().fits_open_diskfile(&f, path.c_str(), READONLY, &status);
    }
    if (status) return LibraryFail(status, ReasonKind::FitsCannotOpen, error);
    int type = 0;
    // A compressed image's unit reads as an image; its table is not looked at.
    if (Fits().fits_movabs_hdu(f, header.hdu, &type, &status) || type != IMAGE_HDU) {
        if (!status) status = NOT_IMAGE;
        int ignored = 0;
        Fits().fits_close_file(f, &ignored);
        return LibraryFail(status, ReasonKind::FitsCannotOpen, error);
    }
    int dims = 0;
    long sizes[3] = {1, 1, 1};
    Fits().fits_get_img_dim(f, &dims, &status);
    Fits().fits_get_img_size(f, 3, sizes, &status);
    if (!status && (sizes[0] != header.width || sizes[1] != header.height)) {
        int ignored = 0;
        Fits().fits_close_file(f, &ignored);
        return Fail(error, Reason(ReasonKind::FitsSizeDiffers));
    }
    if (status) {
        int ignored = 0;
        Fits().fits_close_file(f, &ignored);
        return LibraryFail(status, ReasonKind::FitsCannotOpen, error);
    }
    file_ = f;
    if (header.compressed) findTileColumns();
    return true;
}

void FitsImageFile::findTileColumns() {
    // Called under the library lock. Columns a compressed image may lack are not an error.
    fitsfile* f = File(file_);
    int status = 0;
    char kind[FLEN_VALUE] = {};
    Fits().fits_read_key(f, TSTRING, "ZCMPTYPE", kind, nullptr, &status);
    const std::string type = status ? "" : kind;
    status = 0;
    int column = 0;
    if (Fits().fits_get_colnum(f, CASEINSEN, const_cast<char*>("COMPRESSED_DATA"), &column,
                               &status) == 0) {
        if (type.rfind("GZIP_", 0) == 0) gzipColumns_.push_back(column);
        if (type == "HCOMPRESS_1") hcompressColumn_ = column;
    }
    status = 0;
    if (Fits().fits_get_colnum(f, CASEINSEN, const_cast<char*>("GZIP_COMPRESSED_DATA"), &column,
                               &status) == 0)
        gzipColumns_.push_back(column);
    Fits().fits_clear_errmsg();
}

bool FitsImageFile::readRows(int y0, int count, double* out, std::string& error) {
    return readBlock(0, y0, header_.width, count, out, error);
}

bool FitsImageFile::readBlock(int x0, int y0, int width, int height, double* out,
                              std::string& error, bool keepUndefined) {
    if (!file_) return Fail(error, Reason(ReasonKind::FitsNotOpen));
    if (x0 < 0 || y0 < 0 || width < 0 || height < 0 || x0 + width > header_.width ||
        y0 + height > header_.height)
        return Fail(error, Reason(ReasonKind::FitsBlockOutside));
    if (width == 0 || height == 0) return true;
    if (header_.compressed && !checkTiles(x0, y0, width, height, error)) return false;
    // Undefined pixels (BLANK, and NaN) come back as NaN and count as 0 below.
    double undefined = std::numeric_limits<double>::quiet_NaN();
    int status = 0, anyNull = 0;
    const long long n = (long long)width * height;
    {
        auto lock = LibraryLock();
        if (width == header_.width) {
            long first[3] = {1, long(y0) + 1, long(header_.plane)};
            Fits().fits_read_pix(File(file_), TDOUBLE, first, n, &undefined, out, &anyNull,
                                 &status);
        } else {
            long first[3] = {long(x0) + 1, long(y0) + 1, long(header_.plane)};
            long last[3] = {long(x0) + width, long(y0) + height, long(header_.plane)};
            long step[3] = {1, 1, 1};
            Fits().fits_read_subset(File(file_), TDOUBLE, first, last, step, &undefined, out,
                                    &anyNull, &status);
        }
        if (status) return LibraryFail(status, ReasonKind::FitsCannotRead, error);
    }
    if (keepUndefined) return true;
    // Written as a choice rather than a branch, so that the loop runs in vector lanes.
    for (long long k = 0; k < n; ++k)
        out[k] = std::fabs(out[k]) <= std::numeric_limits<double>::max() ? out[k] : 0.0;
    return true;
}

namespace {

// Inflates a gzip stream without keeping it, and tells whether it stays within `limit` bytes.
bool InflatesWithin(const std::uint8_t* bytes, std::size_t size, std::size_t limit) {
    if (size > std::numeric_limits<uInt>::max()) return false;
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) return false;
    std::uint8_t out[1 << 16];
    z.next_in = const_cast<std::uint8_t*>(bytes);
    z.avail_in = uInt(size);
    std::size_t total = 0;
    int result = Z_OK;
    while (result == Z_OK && total <= limit) {
        z.next_out = out;
        z.avail_out = sizeof out;
        result = inflate(&z, Z_NO_FLUSH);
        total += sizeof out - z.avail_out;
        if (result == Z_BUF_ERROR && z.avail_in == 0) break;  // cut short: the library says so
    }
    inflateEnd(&z);
    return total <= limit;
}

}  // namespace

bool FitsImageFile::checkTiles(int x0, int y0, int width, int height, std::string& error) {
    if (gzipColumns_.empty() && hcompressColumn_ == 0) return true;
    const FitsHeader& h = header_;
    const long long across = (h.width + h.tileWidth - 1) / h.tileWidth;
    const long long down = (h.height + h.tileHeight - 1) / h.tileHeight;
    const long long deep = (h.plane - 1) / h.tilePlanes;
    const std::size_t tilePixels =
        std::size_t(h.tileWidth) * std::size_t(h.tileHeight) * std::size_t(h.tilePlanes);
    // A tile inflates to its pixels in at most 8 bytes each; the library would grow its
    // buffer for whatever more a stream holds, so a small file could take gigabytes.
    const std::size_t limit = tilePixels * 8;
    std::vector<int> columns = gzipColumns_;
    if (hcompressColumn_) columns.push_back(hcompressColumn_);
    auto lock = LibraryLock();
    fitsfile* f = File(file_);
    for (long long ty = y0 / h.tileHeight; ty <= (y0 + height - 1) / h.tileHeight; ++ty) {
        for (long long tx = x0 / h.tileWidth; tx <= (x0 + width - 1) / h.tileWidth; ++tx) {
            const long long row = 1 + tx + across * (ty + down * deep);
            for (int column : columns) {
                int status = 0;
                LONGLONG length = 0, address = 0;
                Fits().fits_read_descriptll(f, column, row, &length, &address, &status);
                if (status) return LibraryFail(status, ReasonKind::FitsCannotReadTiles, error);
                if (length <= 0) continue;
                if (column == hcompressColumn_) {
                    // The stream names its own size after a two-byte mark.
                    std::uint8_t head[10] = {};
                    int anyNull = 0;
                    if (length < 10) continue;
                    Fits().fits_read_col(f, TBYTE, column, row, 1, 10, nullptr, head, &anyNull,
                                         &status);
                    if (status) return LibraryFail(status, ReasonKind::FitsCannotReadTiles, error);
                    const long long nx = std::int32_t(std::uint32_t(head[2]) << 24 | head[3] << 16 |
                                                      head[4] << 8 | head[5]);
                    const long long ny = std::int32_t(std::uint32_t(head[6]) << 24 | head[7] << 16 |
                                                      head[8] << 8 | head[9]);
                    if (nx < 0 || ny < 0 || std::size_t(nx) * std::size_t(ny) > tilePixels)
                        return Fail(error, Reason(ReasonKind::TileClaims, {nx, ny, tilePixels}));
                    continue;
                }
                tileBytes_.resize(std::size_t(length));
                int anyNull = 0;
                Fits().fits_read_col(f, TBYTE, column, row, 1, length, nullptr, tileBytes_.data(),
                                     &anyNull, &status);
                if (status) return LibraryFail(status, ReasonKind::FitsCannotReadTiles, error);
                if (!InflatesWithin(tileBytes_.data(), tileBytes_.size(), limit))
                    return Fail(error,
                                Reason(ReasonKind::TileInflates, {length, limit, tilePixels}));
            }
        }
    }
    if (tileBytes_.capacity() > (std::size_t(1) << 22))
        std::vector<std::uint8_t>().swap(tileBytes_);
    return true;
}

namespace {

// The extent of the tiles, `tile` long, that the span [first, first + length) meets, within
// an axis `axis` long.
std::size_t TileCover(long long first, long long length, long long tile, long long axis) {
    if (length <= 0) return 0;
    const long long begin = first / tile * tile;
    const long long end = std::min(axis, ((first + length - 1) / tile + 1) * tile);
    return std::size_t(end - begin);
}

// Measured with the library as packaged here: a tile's decompression holds about 8 bytes a
// pixel besides the tile it keeps in doubles; 10 leaves a margin.
constexpr std::size_t kTileWorkBytes = 10;

}  // namespace

std::size_t FitsLibraryReadBytes(const FitsHeader& header, int x0, int width) {
    if (!header.compressed || width <= 0) return 0;
    const std::size_t tile = std::size_t(header.tileWidth) * std::size_t(header.tileHeight) *
                             std::size_t(header.tilePlanes);
    // One whole tile per column of tiles is kept: a row of tiles across the block.
    const std::size_t kept = TileCover(x0, width, header.tileWidth, header.width) *
                             std::size_t(header.tileHeight) * std::size_t(header.tilePlanes);
    return kept * sizeof(double) + tile * kTileWorkBytes;
}

int FitsBandRows(const FitsHeader& header, int rows) {
    rows = std::max(1, std::min(rows, header.height));
    if (!header.compressed) return rows;
    const long long tile = header.tileHeight;
    return int(std::min<long long>(header.height, (rows + tile - 1) / tile * tile));
}

std::string FitsTilesText(const FitsHeader& header) {
    if (!header.compressed) return {};
    if (header.tilePlanes > 1)
        return Reason(ReasonKind::TilesTextPlanes,
                      {header.tileWidth, header.tileHeight, header.tilePlanes});
    return Reason(ReasonKind::TilesText, {header.tileWidth, header.tileHeight});
}

bool ReadFitsValues(const ByteSource& source, FitsHeader& header, std::vector<double>& values,
                    std::string& error) {
    std::vector<std::uint8_t> blocks;
    if (!ReadFitsHeader(source, blocks, header, error)) return false;
    // A small file may declare tiles that the library would decompress into gigabytes.
    const std::size_t mib = std::size_t(1) << 20;
    const std::size_t tiles = FitsLibraryReadBytes(header, 0, header.width);
    if (tiles > kMaxTileReadBytes)
        return Fail(error, Reason(ReasonKind::TilesNeedMemory,
                                  {FitsTilesText(header), (tiles + mib - 1) / mib,
                                   kMaxTileReadBytes / mib}));
    try {
        values.resize(std::size_t(header.width) * std::size_t(header.height));
    } catch (const std::bad_alloc&) {
        values.clear();
        return Fail(error, Reason(ReasonKind::NoMemoryImage, {header.width, header.height}));
    }
    FitsImageFile file;
    if (!file.open(source, header, error)) return false;
    // In bands of whole rows of tiles: the library then keeps one row of tiles, not all.
    const int band = header.compressed ? FitsBandRows(header, 1) : header.height;
    for (int y = 0; y < header.height; y += band) {
        const int count = std::min(band, header.height - y);
        if (!file.readRows(y, count, values.data() + std::size_t(y) * std::size_t(header.width),
                           error))
            return false;
    }
    return true;
}

bool AllIntegers(const double* values, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        const double v = values[k];
        if (!(v >= double(INT_MIN) && v <= double(INT_MAX)) || v != std::trunc(v)) return false;
    }
    return true;
}

}  // namespace framesifter
