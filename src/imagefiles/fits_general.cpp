#include "fits_general.h"

#include "file_io.h"

#include <fitsio.h>

#include <climits>
#include <cmath>
#include <mutex>

namespace framesifter {

namespace {

std::mutex g_fitsMutex;

// Locks only when the library is not reentrant as built.
std::unique_lock<std::mutex> LibraryLock() {
    static const bool reentrant = fits_is_reentrant() != 0;
    return reentrant ? std::unique_lock<std::mutex>() : std::unique_lock<std::mutex>(g_fitsMutex);
}

bool LibraryFail(int status, const char* what, std::string& error) {
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    fits_clear_errmsg();
    return Fail(error, std::string(what) + ": " + text);
}

fitsfile* File(void* p) { return static_cast<fitsfile*>(p); }

}  // namespace

bool FitsLibraryReentrant() { return fits_is_reentrant() != 0; }

FitsImageFile::~FitsImageFile() { close(); }

void FitsImageFile::close() {
    if (!file_) return;
    int status = 0;
    auto lock = LibraryLock();
    fits_close_file(File(file_), &status);
    file_ = nullptr;
}

bool FitsImageFile::open(const ByteSource& source, const FitsHeader& header, std::string& error) {
    close();
    header_ = header;
    fitsfile* f = nullptr;
    int status = 0;
    auto lock = LibraryLock();
    if (source.memory()) {
        void* bytes = const_cast<std::uint8_t*>(source.memory());
        std::size_t size = std::size_t(source.size());
        fits_open_memfile(&f, "frame", READONLY, &bytes, &size, 0, nullptr, &status);
    } else {
        // The descriptor the checks were made on: never a name cfitsio would interpret.
        const std::string path = "/proc/self/fd/" + std::to_string(source.descriptor());
        fits_open_diskfile(&f, path.c_str(), READONLY, &status);
    }
    if (status) return LibraryFail(status, "cannot open the image", error);
    int type = 0;
    // A compressed image's unit reads as an image; its table is not looked at.
    if (fits_movabs_hdu(f, header.hdu, &type, &status) || type != IMAGE_HDU) {
        if (!status) status = NOT_IMAGE;
        int ignored = 0;
        fits_close_file(f, &ignored);
        return LibraryFail(status, "cannot open the image", error);
    }
    int dims = 0;
    long sizes[3] = {1, 1, 1};
    fits_get_img_dim(f, &dims, &status);
    fits_get_img_size(f, 3, sizes, &status);
    if (!status && (sizes[0] != header.width || sizes[1] != header.height)) {
        int ignored = 0;
        fits_close_file(f, &ignored);
        return Fail(error, "the image's size differs from its header's");
    }
    if (status) {
        int ignored = 0;
        fits_close_file(f, &ignored);
        return LibraryFail(status, "cannot open the image", error);
    }
    file_ = f;
    return true;
}

bool FitsImageFile::readRows(int y0, int count, double* out, std::string& error) {
    if (!file_) return Fail(error, "the image is not open");
    if (y0 < 0 || count < 0 || y0 + count > header_.height)
        return Fail(error, "the rows lie outside the image");
    long first[3] = {1, long(y0) + 1, long(header_.plane)};
    const long long n = (long long)header_.width * count;
    int status = 0, anyNull = 0;
    {
        auto lock = LibraryLock();
        fits_read_pix(File(file_), TDOUBLE, first, n, nullptr, out, &anyNull, &status);
        if (status) return LibraryFail(status, "cannot read the image", error);
    }
    for (long long k = 0; k < n; ++k)
        if (!std::isfinite(out[k])) out[k] = 0;
    return true;
}

bool ReadFitsValues(const ByteSource& source, FitsHeader& header, std::vector<double>& values,
                    std::string& error) {
    std::vector<std::uint8_t> blocks;
    if (!ReadFitsHeader(source, blocks, header, error)) return false;
    try {
        values.resize(std::size_t(header.width) * std::size_t(header.height));
    } catch (const std::bad_alloc&) {
        values.clear();
        return Fail(error, "not enough memory for a " + std::to_string(header.width) + " x " +
                               std::to_string(header.height) + " image");
    }
    FitsImageFile file;
    return file.open(source, header, error) &&
           file.readRows(0, header.height, values.data(), error);
}

bool AllIntegers(const double* values, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        const double v = values[k];
        if (!(v >= double(INT_MIN) && v <= double(INT_MAX)) || v != std::trunc(v)) return false;
    }
    return true;
}

}  // namespace framesifter
