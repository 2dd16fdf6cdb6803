#include "fits_library.h"
#include "reason.h"

#include <dlfcn.h>

namespace framesifter {

namespace {

// The symbol a name of the library's stands for (most are macros for its short names).
#define FS_SYMBOL_NAME(name) FS_SYMBOL_TEXT(name)
#define FS_SYMBOL_TEXT(name) #name

FitsLibrary Load() {
    FitsLibrary library;
    void* handle = dlopen(FRAMESIFTER_CFITSIO_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        library.error = Reason(ReasonKind::CfitsioNotLoaded, {why ? why : "no reason given"});
        return library;
    }
    bool complete = true;
    const auto take = [&](auto& to, const char* name) {
        to = reinterpret_cast<std::remove_reference_t<decltype(to)>>(dlsym(handle, name));
        if (!to && complete) {
            complete = false;
            library.error =
                Reason(ReasonKind::CfitsioIncomplete, {FRAMESIFTER_CFITSIO_SONAME, name});
        }
    };
    take(library.isReentrant, "fits_is_reentrant");
    take(library.fits_get_errstatus, FS_SYMBOL_NAME(fits_get_errstatus));
    take(library.fits_clear_errmsg, FS_SYMBOL_NAME(fits_clear_errmsg));
    take(library.fits_close_file, FS_SYMBOL_NAME(fits_close_file));
    take(library.fits_open_memfile, FS_SYMBOL_NAME(fits_open_memfile));
    take(library.fits_open_diskfile, FS_SYMBOL_NAME(fits_open_diskfile));
    take(library.fits_movabs_hdu, FS_SYMBOL_NAME(fits_movabs_hdu));
    take(library.fits_get_img_dim, FS_SYMBOL_NAME(fits_get_img_dim));
    take(library.fits_get_img_size, FS_SYMBOL_NAME(fits_get_img_size));
    take(library.fits_read_key, FS_SYMBOL_NAME(fits_read_key));
    take(library.fits_get_colnum, FS_SYMBOL_NAME(fits_get_colnum));
    take(library.fits_read_pix, FS_SYMBOL_NAME(fits_read_pix));
    take(library.fits_read_subset, FS_SYMBOL_NAME(fits_read_subset));
    take(library.fits_read_descriptll, FS_SYMBOL_NAME(fits_read_descriptll));
    take(library.fits_read_col, FS_SYMBOL_NAME(fits_read_col));
    library.loaded = complete;
    return library;  // the handle stays open for the program's life
}

}  // namespace

const FitsLibrary& Fits() {
    static const FitsLibrary library = Load();
    return library;
}

}  // namespace framesifter
