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
};

// value(x, y, plane) as physical values.
inline bool WriteWithLibrary(const std::string& path, const Written& w, int width, int height,
                             const std::function<double(int, int, int)>& value) {
    fitsfile* f = nullptr;
    int status = 0;
    fits_create_diskfile(&f, path.c_str(), &status);
    if (w.compressed) fits_set_compression_type(f, RICE_1, &status);
    long sizes[3] = {width, height, w.planes};
    fits_create_img(f, w.bitpix, w.planes > 1 ? 3 : 2, sizes, &status);
    if (w.bscale != 1 || w.bzero != 0) {
        double scale = w.bscale, zero = w.bzero;
        fits_write_key(f, TDOUBLE, "BSCALE", &scale, nullptr, &status);
        fits_write_key(f, TDOUBLE, "BZERO", &zero, nullptr, &status);
        fits_set_bscale(f, scale, zero, &status);
    }
    std::vector<double> data;
    for (int p = 0; p < w.planes; ++p)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) data.push_back(value(x, y, p));
    if (w.compressed) {
        // The compressed writer takes 16-bit images in their own type only.
        std::vector<short> words(data.begin(), data.end());
        fits_write_img(f, TSHORT, 1, long(words.size()), words.data(), &status);
    } else {
        fits_write_img(f, TDOUBLE, 1, long(data.size()), data.data(), &status);
    }
    fits_close_file(f, &status);
    return status == 0;
}
