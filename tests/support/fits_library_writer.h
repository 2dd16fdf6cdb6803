#pragma once
// FITS files written by cfitsio itself, for the tests of the images read through it.

#include <fitsio.h>

#include <functional>
#include <string>
#include <vector>

struct Written {
    int bitpix = 16;
    int planes = 1;     // NAXIS3 when more than 1
    double bscale = 1;  // written as a card when not 1
    double bzero = 0;   // written as a card when not 0
    bool compressed = false;
    int compression = RICE_1;  // of a compressed image
    long tileWidth = 0;        // of a compressed image; 0: the library's rows
    long tileHeight = 0;
    bool blank = false;  // a BLANK card holding kBlankValue (integer images)
};

constexpr long kBlankValue = -999;

// value(x, y, plane) as physical values.
inline bool WriteWithLibrary(const std::string& path, const Written& w, int width, int height,
                             const std::function<double(int, int, int)>& value) {
    fitsfile* f = nullptr;
    int status = 0;
    fits_create_diskfile(&f, path.c_str(), &status);
    if (w.compressed) fits_set_compression_type(f, w.compression, &status);
    if (w.compressed && w.tileWidth > 0) {
        long tile[2] = {w.tileWidth, w.tileHeight};
        fits_set_tile_dim(f, 2, tile, &status);
    }
    long sizes[3] = {width, height, w.planes};
    fits_create_img(f, w.bitpix, w.planes > 1 ? 3 : 2, sizes, &status);
    if (w.blank) {
        long blank = kBlankValue;
        fits_write_key(f, TLONG, "BLANK", &blank, nullptr, &status);
    }
    if (w.bscale != 1 || w.bzero != 0) {
        double scale = w.bscale, zero = w.bzero;
        fits_write_key(f, TDOUBLE, "BSCALE", &scale, nullptr, &status);
        fits_write_key(f, TDOUBLE, "BZERO", &zero, nullptr, &status);
        fits_set_bscale(f, scale, zero, &status);
    }
    std::vector<double> data;
    data.reserve(std::size_t(width) * std::size_t(height) * std::size_t(w.planes));
    for (int p = 0; p < w.planes; ++p)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) data.push_back(value(x, y, p));
    if (w.compressed && w.bitpix == 16) {
        // The compressed writer takes integer images in their own type only.
        std::vector<short> words(data.begin(), data.end());
        fits_write_img(f, TSHORT, 1, long(words.size()), words.data(), &status);
    } else if (w.compressed && w.bitpix == 32) {
        std::vector<int> words(data.begin(), data.end());
        fits_write_img(f, TINT, 1, long(words.size()), words.data(), &status);
    } else {
        fits_write_img(f, TDOUBLE, 1, long(data.size()), data.data(), &status);
    }
    fits_close_file(f, &status);
    return status == 0;
}

// Replaces the compressed stream of tile `row` (from 1) of a compressed image with what
// `change` makes of it; the library appends the new stream to the heap.
inline bool RewriteTile(const std::string& path, long row,
                        const std::function<void(std::vector<unsigned char>&)>& change) {
    fitsfile* f = nullptr;
    int status = 0, type = 0, column = 0, anyNull = 0;
    fits_open_diskfile(&f, path.c_str(), READWRITE, &status);
    fits_movabs_hdu(f, 2, &type, &status);
    fits_get_colnum(f, CASEINSEN, const_cast<char*>("COMPRESSED_DATA"), &column, &status);
    LONGLONG length = 0, address = 0;
    fits_read_descriptll(f, column, row, &length, &address, &status);
    if (status) return false;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(length));
    fits_read_col(f, TBYTE, column, row, 1, length, nullptr, bytes.data(), &anyNull, &status);
    change(bytes);
    fits_write_col(f, TBYTE, column, row, 1, LONGLONG(bytes.size()), bytes.data(), &status);
    fits_close_file(f, &status);
    return status == 0;
}
