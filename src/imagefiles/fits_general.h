#pragma once
// FITS images the 16-bit fast path does not take (FitsHeader::fast false), read through
// cfitsio after the header has passed this program's own checks: the plane the header names,
// as physical values (BZERO + BSCALE x stored value), undefined values as 0.

#include "byte_source.h"
#include "fits_reader.h"

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
    bool open(const ByteSource& source, const FitsHeader& header, std::string& error);
    // Rows y0 .. y0 + count - 1 (file order), `header.width` values each, into `out`.
    bool readRows(int y0, int count, double* out, std::string& error);

private:
    void close();
    void* file_ = nullptr;
    FitsHeader header_;
};

// The whole image through the header checks and FitsImageFile: values[y * width + x].
bool ReadFitsValues(const ByteSource& source, FitsHeader& header, std::vector<double>& values,
                    std::string& error);

// True when every value is a whole number within the int range.
bool AllIntegers(const double* values, std::size_t count);

// Whether cfitsio was built thread-safe; when not, every call into it is serialised.
bool FitsLibraryReentrant();

}  // namespace framesifter
