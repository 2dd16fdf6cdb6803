#include "jpeg_image.h"

#include "byte_source.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

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
    bool inScans;  // the header is read: what follows is coded data
};

[[noreturn]] void JumpOnError(j_common_ptr cinfo) {
    ErrorManager* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings after which libjpeg goes on with made-up pixels (grey rows past a truncation,
// garbage after a bad code). Such a frame would be scored as if it were real, so these
// end the decode like errors. Extra bytes before a marker once the scans have begun mean
// the decoder used fewer bits than the scan holds: the codes were damaged, even if each
// one was valid. Harmless warnings (unknown JFIF revision or Adobe transform, stray bytes
// between header segments, a bad ICC profile) are ignored.
bool LosesData(int code, bool inScans) {
    switch (code) {
    case JWRN_EXTRANEOUS_DATA:
        return inScans;
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
    const ErrorManager* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level < 0 && LosesData(cinfo->err->msg_code, manager->inScans)) JumpOnError(cinfo);
}

ErrorManager* InstallErrorManager(ErrorManager& manager) {
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = JumpOnError;
    manager.pub.emit_message = OnMessage;
    manager.message[0] = '\0';
    manager.inScans = false;
    return &manager;
}

enum class DecodeResult { Ok, LibraryError, TooLarge, NoMemory, Refused };

struct DecodeInput {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    const JpegImage::RegionChooser* choose = nullptr;  // null: the whole image
    const JpegImage::LayoutCheck* check = nullptr;     // null: no check
    const JpegImage::RowSink* sink = nullptr;          // the whole image, row by row
};

struct DecodeOutput {
    int width = 0;
    int height = 0;
    JpegImage::Region region;
};

// Rows decoded at a time for a row sink.
constexpr JDIMENSION kStripRows = 16;

std::size_t RoundUp(std::size_t n, std::size_t multiple) {
    return (n + multiple - 1) / multiple * multiple;
}

// What libjpeg allocates in proportion to the image: a multi-scan file keeps every
// coefficient of every component until its last scan; any file keeps a few rows of samples
// per component for the inverse transform, upsampling and colour conversion. Generous on
// the rows, which are small beside the image.
std::size_t DecoderBytes(j_decompress_ptr cinfo) {
    const bool multiScan = jpeg_has_multiple_scans(cinfo);
    std::size_t bytes = 0;
    for (int c = 0; c < cinfo->num_components; ++c) {
        const jpeg_component_info& comp = cinfo->comp_info[c];
        const std::size_t columns = RoundUp(comp.width_in_blocks, std::size_t(comp.h_samp_factor));
        const std::size_t rows = RoundUp(comp.height_in_blocks, std::size_t(comp.v_samp_factor));
        if (multiScan) bytes += columns * rows * sizeof(JBLOCK);
        bytes += columns * DCTSIZE * std::size_t(cinfo->max_v_samp_factor) * DCTSIZE * 4;
    }
    return bytes;
}

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

// Plain function around setjmp: nothing here has a destructor that longjmp could skip.
// `bgr` belongs to the caller and keeps its capacity from frame to frame; `reason` receives
// a layout check's refusal.
DecodeResult DecodeBgr(const DecodeInput& input, std::vector<std::uint8_t>& bgr,
                       DecodeOutput& out, char* message, int& libraryCode, std::string& reason) {
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
    jpeg_mem_src(&cinfo, input.bytes, static_cast<unsigned long>(input.size));
    jpeg_read_header(&cinfo, TRUE);
    manager.inScans = true;

    out.width = static_cast<int>(cinfo.image_width);
    out.height = static_cast<int>(cinfo.image_height);
    if (static_cast<unsigned long long>(cinfo.image_width) * cinfo.image_height > kMaxPixels) {
        jpeg_destroy_decompress(&cinfo);
        return DecodeResult::TooLarge;
    }
    JpegImage::Region region;
    region.width = out.width;
    region.height = out.height;
    JpegImage::Layout layout;
    layout.width = out.width;
    layout.height = out.height;
    bool accepted = true;
    try {
        if (input.choose) {
            region = ClipToImage((*input.choose)(out.width, out.height), out.width, out.height);
        }
        const std::size_t stride = std::size_t(out.width) * 3;
        std::size_t pixelBytes = stride * std::size_t(out.height);
        if (input.sink) {
            pixelBytes = stride * kStripRows;
        } else if (input.choose) {
            // The crop is widened to whole blocks and a margin on each side.
            const std::size_t cropWidth =
                std::size_t(region.width) + 2 * (kMargin + DCTSIZE * 4);
            pixelBytes = std::min(stride, cropWidth * 3) * (std::size_t(region.height) + 1);
        }
        layout.decodeBytes = DecoderBytes(&cinfo) + pixelBytes;
        if (input.check) accepted = (*input.check)(layout, reason);
    } catch (...) {
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
    if (!accepted) {
        jpeg_destroy_decompress(&cinfo);
        return DecodeResult::Refused;
    }
    const bool whole = !input.sink && region.x == 0 && region.y == 0 &&
                       region.width == out.width && region.height == out.height;

    // Greyscale and YCbCr/RGB sources all convert to BGR inside libjpeg-turbo.
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const JDIMENSION imageHeight = cinfo.output_height;

    // A region is decoded from whole blocks around it (the library widens the crop to
    // them), into rows of that wider width; the region's columns are moved together after.
    JDIMENSION cropX = 0;
    JDIMENSION cropWidth = cinfo.output_width;
    if (!whole && !input.sink) {
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
    const std::size_t rows = input.sink ? kStripRows : whole ? 0 : std::size_t(region.height) + 1;
    bool allocated = true;
    try {
        // A whole image grows row by row below; a region or a strip is small.
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

    if (input.sink) {
        while (cinfo.output_scanline < imageHeight) {
            const JDIMENSION first = cinfo.output_scanline;
            const JDIMENSION count = std::min(kStripRows, imageHeight - first);
            ReadRows(&cinfo, first + count, bgr.data(), cropStride, first);
            try {
                (*input.sink)(int(first), int(count), bgr.data(), cropStride);
            } catch (...) {
                jpeg_destroy_decompress(&cinfo);
                throw;
            }
        }
        region = JpegImage::Region{};
    } else if (!whole && region.height > 0) {
        std::uint8_t* scratch = bgr.data() + cropStride * std::size_t(region.height);
        const JDIMENSION top = JDIMENSION(region.y);
        SkipTo(&cinfo, top > kMargin ? top - kMargin : 0);
        ReadRows(&cinfo, top, scratch, 0, 0);
        ReadRows(&cinfo, top + JDIMENSION(region.height), bgr.data(), cropStride, top);
    }
    // Multi-scan files were read to their end by jpeg_start_decompress. A single scan is
    // read to its end below the region too: damaged codes there show only when the
    // decoder meets the next marker. Skipping spares the inverse transform of those rows,
    // not their decoding.
    if (cinfo.output_scanline < imageHeight && !jpeg_input_complete(&cinfo)) {
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

    if (input.sink) {
        bgr.clear();
    } else if (!whole) {
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
                         int height, const std::string& refusal) {
    switch (result) {
    case DecodeResult::Ok:
        return {};
    case DecodeResult::Refused:
        return refusal;
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
    ByteSource source;
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (source.open(path, error) != 0 ||
        (source.size() > 0 && ReadAllBytes(source, bytes, error) != 0)) {
        bgr_.clear();
        error_ = error;
        return false;
    }
    return decode(bytes.data(), bytes.size(), nullptr, nullptr, nullptr);
}

bool JpegImage::loadMemory(const std::uint8_t* bytes, std::size_t size) {
    return decode(bytes, size, nullptr, nullptr, nullptr);
}

bool JpegImage::loadMemoryRegion(const std::uint8_t* bytes, std::size_t size,
                                 const RegionChooser& choose, const LayoutCheck* check) {
    return decode(bytes, size, &choose, check, nullptr);
}

bool JpegImage::loadMemoryCentre(const std::uint8_t* bytes, std::size_t size, int windowWidth,
                                 int windowHeight, const LayoutCheck* check) {
    const int w = std::max(windowWidth, 0);
    const int h = std::max(windowHeight, 0);
    return loadMemoryRegion(
        bytes, size,
        [w, h](int width, int height) {
            return Region{(width - w) / 2, (height - h) / 2, w, h};
        },
        check);
}

bool JpegImage::readMemoryRows(const std::uint8_t* bytes, std::size_t size,
                               const LayoutCheck& check, const RowSink& sink) {
    return decode(bytes, size, nullptr, &check, &sink);
}

// bgr_ keeps its size on entry: a frame of the same size as the last one is decoded in
// place without allocating or clearing.
bool JpegImage::decode(const std::uint8_t* bytes, std::size_t size, const RegionChooser* choose,
                       const LayoutCheck* check, const RowSink* sink) {
    width_ = height_ = regionX_ = regionY_ = regionWidth_ = regionHeight_ = 0;
    error_.clear();
    static const std::uint8_t kNothing = 0;
    DecodeInput input;
    input.bytes = bytes ? bytes : &kNothing;
    input.size = bytes ? size : 0;
    input.choose = choose;
    input.check = check;
    input.sink = sink;
    char message[JMSG_LENGTH_MAX] = {};
    int code = 0;
    std::string refusal;
    DecodeOutput out;
    const DecodeResult result = DecodeBgr(input, bgr_, out, message, code, refusal);
    if (result != DecodeResult::Ok) {
        bgr_.clear();
        error_ = DecodeReason(result, message, code, out.width, out.height, refusal);
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
