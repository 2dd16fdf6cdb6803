#pragma once
// cfitsio, loaded when a frame first needs it rather than when the program starts: the library
// brings a network stack with it (curl, TLS, Kerberos), whose loading costs every start of the
// command line tool milliseconds, while most frames (16-bit FITS, BMP, JPEG, SER) never use it.
// Its functions are called through here by their usual names, e.g.
// Fits().fits_open_diskfile(...).

#include <fitsio.h>

#include <string>

namespace framesifter {

struct FitsLibrary {
    bool loaded = false;
    std::string error;  // why it could not be loaded
    decltype(&::fits_is_reentrant) isReentrant = nullptr;
    decltype(&::fits_get_errstatus) fits_get_errstatus = nullptr;
    decltype(&::fits_clear_errmsg) fits_clear_errmsg = nullptr;
    decltype(&::fits_close_file) fits_close_file = nullptr;
    decltype(&::fits_open_memfile) fits_open_memfile = nullptr;
    decltype(&::fits_open_diskfile) fits_open_diskfile = nullptr;
    decltype(&::fits_movabs_hdu) fits_movabs_hdu = nullptr;
    decltype(&::fits_get_img_dim) fits_get_img_dim = nullptr;
    decltype(&::fits_get_img_size) fits_get_img_size = nullptr;
    decltype(&::fits_read_key) fits_read_key = nullptr;
    decltype(&::fits_get_colnum) fits_get_colnum = nullptr;
    decltype(&::fits_read_pix) fits_read_pix = nullptr;
    decltype(&::fits_read_subset) fits_read_subset = nullptr;
    decltype(&::fits_read_descriptll) fits_read_descriptll = nullptr;
    decltype(&::fits_read_col) fits_read_col = nullptr;
};

// Loaded on the first call, from any thread; `loaded` false with `error` when it cannot be.
const FitsLibrary& Fits();

}  // namespace framesifter
