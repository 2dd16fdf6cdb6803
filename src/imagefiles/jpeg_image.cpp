#include "jpeg_image.h"

#include <algorithm>
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
    const JpegImage::RegionChooser* choose = nullptr;  // null: the whole image
};

struct DecodeOutput {
    int width = 0;
    int height = 0;
    JpegImage::Region region;
};

// Columns and rows decoded on each side of a region and thrown away. Smooth chroma
// upsampling treats the first and last pixels of a cropped row as image edges, which changes
// them; 16 more pixels keep that outside the region. Rows get the same margin, a cheap guard
// for the neighbouring rows that vertical upsampling needs after a skip.
constexpr JDIMENSION kMargin = 16;

JpegImage::Region ClipToImage(const JpegImage::Region& wanted, int width, int height) {
    const long long x0 = std::clamp<long long>(wanted.x, 0, width);
    const long long y0 = std::clamp<long long>(wanted.y, 0, height);
    const long long x1 = std::clamp<long long>(0LL + wanted.x + wanted.width, x0, width);
    const long long y1 = std::clamp<long long>(0LL + wanted.y + wanted.height, y0, height);
    JpegImage::Region r;
    r.x = int(x0);
    r.y = int(y0);
    r.width = int(x1 - x0);
    r.height = int(y1 - y0);
    return r;
}

// Reads rows up to (not including) `end`: row k goes to base + (k - first) * stride, or,
// with stride 0, every row goes to `base` and is thrown away.
void ReadRows(j_decompress_ptr cinfo, JDIMENSION end, std::uint8_t* base, std::size_t stride,
              JDIMENSION first) {
    JSAMPROW rows[16];
    while (cinfo->output_scanline < end) {
        const JDIMENSION left = end - cinfo->output_scanline;
        const JDIMENSION want = left < 16 ? left : 16;
        for (JDIMENSION i = 0; i < want; ++i) {
            rows[i] = base + stride * (cinfo->output_scanline + i - first);
        }
        jpeg_read_scanlines(cinfo, rows, want);
    }
}

// Reads every row of the image into `bgr`, growing it as rows arrive: a file that declares a
// large image but holds little data fails before much memory is taken for it.
void ReadAllRowsGrowing(j_decompress_ptr cinfo, std::vector<std::uint8_t>& bgr,
                        std::size_t stride) {
    const JDIMENSION height = cinfo->output_height;
    JSAMPROW rows[16];
    while (cinfo->output_scanline < height) {
        const JDIMENSION first = cinfo->output_scanline;
        const JDIMENSION want = height - first < 16 ? height - first : 16;
        const std::size_t needed = stride * (std::size_t(first) + want);
        if (bgr.size() < needed) {
            if (bgr.capacity() < needed)
                bgr.reserve(std::min(stride * height, std::max(needed, 2 * bgr.capacity())));
            bgr.resize(needed);
        }
        for (JDIMENSION i = 0; i < want; ++i) rows[i] = bgr.data() + stride * (first + i);
        jpeg_read_scanlines(cinfo, rows, want);
    }
}

// Skips rows up to `row`, which must lie before the last row: skipping to the very end
// would mark the image finished without reading its remaining data. Skipped rows are still
// entropy-decoded (only the inverse transform and colour work are saved), so damage in
// them is noticed as in a full decode.
void SkipTo(j_decompress_ptr cinfo, JDIMENSION row) {
    while (cinfo->output_scanline < row) {
        if (jpeg_skip_scanlines(cinfo, row - cinfo->output_scanline) == 0) break;
    }
}

// Marker codes (the byte after 0xFF).
constexpr int kRst0 = 0xD0;
constexpr int kRst7 = 0xD7;
constexpr int kEoi = 0xD9;

// Restart markers still due in a single scan after the decoder has taken `decodedMcus` of
// its `totalMcus` MCUs; `interval` 0 means the file has none.
struct Restarts {
    int next = 0;  // number of the next marker, 0..7
    unsigned long long remaining = 0;
};

Restarts RestartsAfter(unsigned long long decodedMcus, unsigned long long totalMcus,
                       unsigned int interval) {
    Restarts r;
    if (interval == 0 || totalMcus == 0) return r;
    // The marker after interval k is read before the first MCU of interval k + 1.
    const unsigned long long read = decodedMcus ? (decodedMcus - 1) / interval : 0;
    r.next = int(read % 8);
    r.remaining = (totalMcus - 1) / interval - read;
    return r;
}

// Looks at the rest of a single-scan file from where a region decode stopped, without
// decoding it: true when it is coded data with exactly the restart markers still due, in
// sequence, followed by the end marker. Anything else (a file cut short, a missing or
// misnumbered restart marker, any other marker) is left to the decoder to judge.
// Damaged codes between markers are not seen here.
bool TailLooksSound(const std::uint8_t* p, const std::uint8_t* end, int pendingMarker,
                    Restarts restarts) {
    int marker = pendingMarker;
    for (;;) {
        if (marker == 0) {
            p = static_cast<const std::uint8_t*>(std::memchr(p, 0xFF, std::size_t(end - p)));
            if (!p) return false;
            while (p < end && *p == 0xFF) ++p;  // fill bytes
            if (p == end) return false;
            marker = *p++;
            if (marker == 0) continue;  // a stuffed 0xFF data byte
        }
        if (marker < kRst0 || marker > kRst7) return marker == kEoi && restarts.remaining == 0;
        if (restarts.remaining == 0 || marker - kRst0 != restarts.next) return false;
        restarts.next = (restarts.next + 1) % 8;
        --restarts.remaining;
        marker = 0;
    }
}

// Plain function around setjmp: nothing here has a destructor that longjmp could skip.
// `bgr` belongs to the caller and keeps its capacity from frame to frame.
DecodeResult DecodeBgr(const DecodeInput& input, std::vector<std::uint8_t>& bgr,
                       DecodeOutput& out, char* message, int& libraryCode) {
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

    out.width = static_cast<int>(cinfo.image_width);
    out.height = static_cast<int>(cinfo.image_height);
    if (static_cast<unsigned long long>(cinfo.image_width) * cinfo.image_height > kMaxPixels) {
        jpeg_destroy_decompress(&cinfo);
        return DecodeResult::TooLarge;
    }
    JpegImage::Region region;
    region.width = out.width;
    region.height = out.height;
    if (input.choose) {
        JpegImage::Region wanted;
        try {
            wanted = (*input.choose)(out.width, out.height);
        } catch (...) {
            jpeg_destroy_decompress(&cinfo);
            throw;
        }
        region = ClipToImage(wanted, out.width, out.height);
    }
    const bool whole = region.x == 0 && region.y == 0 && region.width == out.width &&
                       region.height == out.height;

    // Greyscale and YCbCr/RGB sources all convert to BGR inside libjpeg-turbo.
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const JDIMENSION imageHeight = cinfo.output_height;

    // A region is decoded from whole blocks around it (the library widens the crop to
    // them), into rows of that wider width; the region's columns are moved together after.
    JDIMENSION cropX = 0;
    JDIMENSION cropWidth = cinfo.output_width;
    if (!whole) {
        const JDIMENSION x = JDIMENSION(region.x);
        cropX = x > kMargin ? x - kMargin : 0;
        JDIMENSION cropEnd = region.width > 0 ? x + JDIMENSION(region.width) + kMargin : x + 1;
        if (cropEnd > cinfo.output_width) cropEnd = cinfo.output_width;
        if (cropX >= cropEnd) cropX = cropEnd - 1;
        cropWidth = cropEnd - cropX;
        jpeg_crop_scanline(&cinfo, &cropX, &cropWidth);
    }

    const std::size_t cropStride = std::size_t(cropWidth) * 3;
    // One row more than the region for rows read only to be thrown away.
    const std::size_t rows = whole ? 0 : std::size_t(region.height) + 1;
    bool allocated = true;
    try {
        // A whole image grows row by row below; a region is small.
        if (whole && bgr.capacity() < cropStride * std::size_t(region.height)) bgr.clear();
        bgr.resize(whole ? std::min(bgr.size(), cropStride * std::size_t(region.height))
                         : cropStride * rows);
        if (whole) ReadAllRowsGrowing(&cinfo, bgr, cropStride);
    } catch (const std::bad_alloc&) {
        allocated = false;
    }
    if (!allocated) {
        jpeg_destroy_decompress(&cinfo);
        return DecodeResult::NoMemory;
    }

    if (!whole && region.height > 0) {
        std::uint8_t* scratch = bgr.data() + cropStride * std::size_t(region.height);
        const JDIMENSION top = JDIMENSION(region.y);
        SkipTo(&cinfo, top > kMargin ? top - kMargin : 0);
        ReadRows(&cinfo, top, scratch, 0, 0);
        ReadRows(&cinfo, top + JDIMENSION(region.height), bgr.data(), cropStride, top);
    }
    // Multi-scan files were read to their end by jpeg_start_decompress. In a single scan,
    // the data below the region is decoded only when a look at its markers finds it
    // unsound, so that such a file is refused for the same reason as by a full decode.
    bool finished = cinfo.output_scanline == imageHeight || jpeg_input_complete(&cinfo);
    if (!finished) {
        const Restarts restarts =
            RestartsAfter(std::uint64_t(cinfo.input_iMCU_row) * cinfo.MCUs_per_row,
                          std::uint64_t(cinfo.total_iMCU_rows) * cinfo.MCUs_per_row,
                          cinfo.restart_interval);
        finished = TailLooksSound(cinfo.src->next_input_byte,
                                  cinfo.src->next_input_byte + cinfo.src->bytes_in_buffer,
                                  cinfo.unread_marker, restarts);
    }
    if (!finished) {
        std::uint8_t* scratch = bgr.data() + cropStride * std::size_t(region.height);
        SkipTo(&cinfo, imageHeight - 1);
        ReadRows(&cinfo, imageHeight, scratch, 0, 0);
    }
    if (cinfo.output_scanline == imageHeight) {
        jpeg_finish_decompress(&cinfo);
    } else {
        jpeg_abort_decompress(&cinfo);
    }
    jpeg_destroy_decompress(&cinfo);

    if (!whole) {
        const std::size_t stride = std::size_t(region.width) * 3;
        const std::size_t offset = std::size_t(JDIMENSION(region.x) - cropX) * 3;
        for (std::size_t j = 0; j < std::size_t(region.height); ++j) {
            std::memmove(bgr.data() + stride * j, bgr.data() + cropStride * j + offset, stride);
        }
        bgr.resize(stride * std::size_t(region.height));
    }
    out.region = region;
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
    width_ = height_ = regionX_ = regionY_ = regionWidth_ = regionHeight_ = 0;
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
    const bool ok = decode(file, nullptr, 0, nullptr);
    std::fclose(file);
    return ok;
}

bool JpegImage::loadMemory(const std::uint8_t* bytes, std::size_t size) {
    return decode(nullptr, bytes, size, nullptr);
}

bool JpegImage::loadMemoryRegion(const std::uint8_t* bytes, std::size_t size,
                                 const RegionChooser& choose) {
    return decode(nullptr, bytes, size, &choose);
}

bool JpegImage::loadMemoryCentre(const std::uint8_t* bytes, std::size_t size, int windowWidth,
                                 int windowHeight) {
    const int w = std::max(windowWidth, 0);
    const int h = std::max(windowHeight, 0);
    return loadMemoryRegion(bytes, size, [w, h](int width, int height) {
        return Region{(width - w) / 2, (height - h) / 2, w, h};
    });
}

// bgr_ keeps its size on entry: a frame of the same size as the last one is decoded in
// place without allocating or clearing.
bool JpegImage::decode(std::FILE* file, const std::uint8_t* bytes, std::size_t size,
                       const RegionChooser* choose) {
    width_ = height_ = regionX_ = regionY_ = regionWidth_ = regionHeight_ = 0;
    error_.clear();
    static const std::uint8_t kNothing = 0;
    DecodeInput input;
    input.file = file;
    input.bytes = bytes ? bytes : &kNothing;
    input.size = bytes ? size : 0;
    input.choose = choose;
    char message[JMSG_LENGTH_MAX] = {};
    int code = 0;
    DecodeOutput out;
    const DecodeResult result = DecodeBgr(input, bgr_, out, message, code);
    if (result != DecodeResult::Ok) {
        bgr_.clear();
        error_ = DecodeReason(result, message, code, out.width, out.height);
        return false;
    }
    width_ = out.width;
    height_ = out.height;
    regionX_ = out.region.x;
    regionY_ = out.region.y;
    regionWidth_ = out.region.width;
    regionHeight_ = out.region.height;
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
