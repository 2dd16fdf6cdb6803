#include "jpeg_image.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include <sys/stat.h>

// jpeglib.h first: jerror.h's list depends on the configuration it pulls in.
#include <jpeglib.h>
#include <jerror.h>

namespace {

// Same bound as the FITS reader's 16000 per side, as a pixel count: a header that declares
// more is refused before anything is allocated for it.
constexpr unsigned long long kMaxPixels = 16000ULL * 16000ULL;

// libjpeg reports fatal errors through error_exit, which by default calls exit(). Ours
// keeps the formatted message and jumps back to the decode or encode function.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JumpOnError(j_common_ptr cinfo) {
    ErrorManager* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings after which libjpeg goes on with made-up pixels (grey rows past a truncation,
// garbage after a bad code). Such a frame would be scored as if it were real, so these
// end the decode like errors. Harmless warnings (unknown JFIF revision, stray bytes
// between markers, a bad ICC profile) are ignored.
bool LosesData(int code) {
    switch (code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
        return true;
    default:
        return false;
    }
}

void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && LosesData(cinfo->err->msg_code)) JumpOnError(cinfo);
}

ErrorManager* InstallErrorManager(ErrorManager& manager) {
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = JumpOnError;
    manager.pub.emit_message = OnMessage;
    manager.message[0] = '\0';
    return &manager;
}

enum class DecodeResult { Ok, LibraryError, TooLarge, NoMemory };

struct DecodeInput {
    std::FILE* file = nullptr;            // either a file ...
    const std::uint8_t* bytes = nullptr;  // ... or a memory block
    std::size_t size = 0;
};

// Plain function around setjmp: nothing here has a destructor that longjmp could skip.
// `bgr` belongs to the caller and keeps its capacity from frame to frame.
DecodeResult DecodeBgr(const DecodeInput& input, std::vector<std::uint8_t>& bgr, int& width,
                       int& height, char* message, int& libraryCode) {
    jpeg_decompress_struct cinfo;
    ErrorManager manager;
    cinfo.err = &InstallErrorManager(manager)->pub;
    if (setjmp(manager.jump)) {
        std::memcpy(message, manager.message, sizeof manager.message);
        libraryCode = manager.pub.msg_code;
        jpeg_destroy_decompress(&cinfo);
        return DecodeResult::LibraryError;
    }
    jpeg_create_decompress(&cinfo);
    if (input.file) {
        jpeg_stdio_src(&cinfo, input.file);
    } else {
        jpeg_mem_src(&cinfo, input.bytes, static_cast<unsigned long>(input.size));
    }
    jpeg_read_header(&cinfo, TRUE);

    width = static_cast<int>(cinfo.image_width);
    height = static_cast<int>(cinfo.image_height);
    if (static_cast<unsigned long long>(cinfo.image_width) * cinfo.image_height > kMaxPixels) {
        jpeg_destroy_decompress(&cinfo);
        return DecodeResult::TooLarge;
    }

    // Greyscale and YCbCr/RGB sources all convert to BGR inside libjpeg-turbo.
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);

    const std::size_t stride = std::size_t(cinfo.output_width) * 3;
    const std::size_t bytes = stride * cinfo.output_height;
    bool allocated = true;
    try {
        bgr.resize(bytes);
    } catch (const std::bad_alloc&) {
        allocated = false;
    }
    if (!allocated) {
        jpeg_destroy_decompress(&cinfo);
        return DecodeResult::NoMemory;
    }

    JSAMPROW rows[16];
    while (cinfo.output_scanline < cinfo.output_height) {
        JDIMENSION count = 0;
        const JDIMENSION left = cinfo.output_height - cinfo.output_scanline;
        const JDIMENSION want = left < 16 ? left : 16;
        for (; count < want; ++count) {
            rows[count] = bgr.data() + stride * (cinfo.output_scanline + count);
        }
        jpeg_read_scanlines(&cinfo, rows, want);
    }
    width = static_cast<int>(cinfo.output_width);
    height = static_cast<int>(cinfo.output_height);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return DecodeResult::Ok;
}

bool EncodeBgr(std::FILE* file, const std::uint8_t* bgr, int width, int height,
               std::size_t stride, int quality, char* message) {
    jpeg_compress_struct cinfo;
    ErrorManager manager;
    cinfo.err = &InstallErrorManager(manager)->pub;
    if (setjmp(manager.jump)) {
        std::memcpy(message, manager.message, sizeof manager.message);
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(bgr + stride * cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

namespace {

// Turns a decode outcome into the reason callers show after the file name.
std::string DecodeReason(DecodeResult result, const char* message, int libraryCode, int width,
                         int height) {
    switch (result) {
    case DecodeResult::Ok:
        return {};
    case DecodeResult::TooLarge:
        return "image too large: " + std::to_string(width) + " x " + std::to_string(height) +
               " pixels declared (at most 16000 x 16000)";
    case DecodeResult::NoMemory:
        return "out of memory for " + std::to_string(width) + " x " + std::to_string(height) +
               " pixels";
    case DecodeResult::LibraryError:
        if (libraryCode == JERR_NO_SOI || libraryCode == JERR_INPUT_EMPTY) {
            return std::string("not a JPEG file: ") + message;
        }
        return std::string("cannot decode JPEG: ") + message;
    }
    return {};
}

}  // namespace

bool JpegImage::loadFile(const std::string& path) {
    // bgr_ keeps its size on entry: a frame of the same size as the last one is decoded
    // in place without allocating or clearing.
    width_ = height_ = 0;
    error_.clear();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        bgr_.clear();
        error_ = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    // fopen accepts a folder; reading it would then look like an empty JPEG.
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        bgr_.clear();
        error_ = std::string("cannot open: ") + std::strerror(EISDIR);
        return false;
    }
    DecodeInput input;
    input.file = file;
    char message[JMSG_LENGTH_MAX] = {};
    int code = 0;
    int width = 0;
    int height = 0;
    const DecodeResult result = DecodeBgr(input, bgr_, width, height, message, code);
    std::fclose(file);
    if (result != DecodeResult::Ok) {
        bgr_.clear();
        error_ = DecodeReason(result, message, code, width, height);
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

bool JpegImage::loadMemory(const std::uint8_t* bytes, std::size_t size) {
    width_ = height_ = 0;
    error_.clear();
    static const std::uint8_t kNothing = 0;
    DecodeInput input;
    input.bytes = bytes ? bytes : &kNothing;
    input.size = bytes ? size : 0;
    char message[JMSG_LENGTH_MAX] = {};
    int code = 0;
    int width = 0;
    int height = 0;
    const DecodeResult result = DecodeBgr(input, bgr_, width, height, message, code);
    if (result != DecodeResult::Ok) {
        bgr_.clear();
        error_ = DecodeReason(result, message, code, width, height);
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

// Writes straight to `path`. After a failure what is there is incomplete: callers that
// replace a user's file write to a temporary name and rename it afterwards.
bool JpegImage::saveFile(const std::string& path, const std::uint8_t* bgr, int width, int height,
                         std::size_t stride, int quality, std::string& error) {
    error.clear();
    if (!bgr || width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION ||
        height > JPEG_MAX_DIMENSION || stride < std::size_t(width) * 3) {
        error = "cannot write JPEG: invalid image of " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels";
        return false;
    }
    if (quality < 1 || quality > 100) {
        error = "cannot write JPEG: quality " + std::to_string(quality) + " is not in 1..100";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = std::string("cannot create: ") + std::strerror(errno);
        return false;
    }
    char message[JMSG_LENGTH_MAX] = {};
    bool ok = EncodeBgr(file, bgr, width, height, stride, quality, message);
    if (!ok) error = std::string("cannot write JPEG: ") + message;
    // A full disk may only show when the last buffer is flushed.
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = std::string("cannot write JPEG: ") + std::strerror(errno);
    }
    return ok;
}
