#pragma once
// FITS images the 16-bit fast path does not take (FitsHeader::fast false), read through
// cfitsio after the header has passed this program's own checks: the plane the header names,
// as physical values (BZERO + BSCALE x stored value), undefined values as 0.

#include "byte_source.h"
#include "fits_header.h"

#include <string>
#include <vector>

namespace framesifter {

class FitsImageFile {
public:
    FitsImageFile() = default;
    ~FitsImageFile();
    FitsImageFile(const FitsImageFile&) = delete;
    FitsImageFile& operator=(const FitsImageFile&) = delete;

    // Opens the image of a source whose header ReadFitsHeader parsed: the very file the
    // source holds open, or its bytes in memory (which must outlive this object).
    [[nodiscard]] bool open(const ByteSource& source, const FitsHeader& header, std::string& error);
    // Rows y0 .. y0 + count - 1 (file order), `header.width` values each, into `out`.
    [[nodiscard]] bool readRows(int y0, int count, double* out, std::string& error);
    // The block of `width` x `height` values at column x0, row y0, row by row into `out`;
    // of a compressed image only the tiles the block meets are decompressed. Undefined values
    // (BLANK, NaN) and infinities read as 0, unless `keepUndefined` leaves that to the caller
    // (they are then NaN or infinite).
    [[nodiscard]] bool readBlock(int x0, int y0, int width, int height, double* out,
                                 std::string& error, bool keepUndefined = false);

private:
    void close();
    void findTileColumns();
    // Refuses tiles of the block whose streams hold more than their pixels: a small file
    // could otherwise make the library inflate gigabytes.
    [[nodiscard]] bool checkTiles(int x0, int y0, int width, int height, std::string& error);
    void* file_ = nullptr;
    std::vector<int> gzipColumns_;  // columns of gzip streams
    int hcompressColumn_ = 0;
    std::vector<std::uint8_t> tileBytes_;
    FitsHeader header_;
    void* memoryBytes_ = nullptr;
    std::size_t memorySize_ = 0;
};

// What the library holds while it reads a block `width` pixels wide from column x0 of a
// compressed image: it decompresses a whole tile at a time and keeps the last tile of each
// column of tiles the block meets, in doubles. 0 for an image that is not compressed.
std::size_t FitsLibraryReadBytes(const FitsHeader& header, int x0, int width);
// Rows to read at a time for about `rows` wanted: whole rows of tiles of a compressed image,
// so that reading it band by band from the top decompresses each tile once.
int FitsBandRows(const FitsHeader& header, int rows);
// "in tiles of W x H pixels" for a compressed image, for reasons that name what it costs.
std::string FitsTilesText(const FitsHeader& header);

// What a whole-image read lets the library hold for one row of a compressed image's tiles.
constexpr std::size_t kMaxTileReadBytes = std::size_t(1) << 30;

// The whole image through the header checks and FitsImageFile: values[y * width + x]. A
// compressed image whose row of tiles needs more than kMaxTileReadBytes is refused.
[[nodiscard]] bool ReadFitsValues(const ByteSource& source, FitsHeader& header,
                                  std::vector<double>& values, std::string& error);

// True when every value is a whole number within the int range.
bool AllIntegers(const double* values, std::size_t count);

}  // namespace framesifter
