#include "jpeg_image.h"
#include "reason.h"

#include "file_io.h"
#include "frame_limits.h"

#include <algorithm>
#include <cstdlib>
#include <csetjmp>
#include <cstring>
#include <new>

// jpeglib.h first: jerror.h's list depends on the configuration it pulls in.
#include <jpeglib.h>
#include <jerror.h>

namespace framesifter {

namespace {

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

// Rows of a four-colour (CMYK, or YCCK which the library turns into CMYK) image: the
// library gives CMYK, turned into BGR here. Files with an Adobe marker store the inks
// inverted (0 is full ink), as that program writes them.
struct InkRows {
    JSAMPARRAY rows = nullptr;  // 16 rows of four samples a pixel, in the library's pool
    bool inverted = false;
};

void InkToBgr(const JSAMPLE* ink, JDIMENSION width, bool inverted, std::uint8_t* bgr) {
    for (JDIMENSION x = 0; x < width; ++x, ink += 4, bgr += 3) {
        const unsigned k = inverted ? ink[3] : 255u - ink[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned v = inverted ? ink[c] : 255u - ink[c];
            bgr[2 - c] = std::uint8_t((v * k + 127) / 255);
        }
    }
}

// jpeg_read_scanlines into BGR rows, whatever the image's colours.
void ReadScanlines(j_decompress_ptr cinfo, JSAMPROW* rows, JDIMENSION want) {
    if (cinfo->out_color_space != JCS_CMYK) {
        jpeg_read_scanlines(cinfo, rows, want);
        return;
    }
    const InkRows* ink = static_cast<const InkRows*>(cinfo->client_data);
    const JDIMENSION got = jpeg_read_scanlines(cinfo, ink->rows, want);
    for (JDIMENSION i = 0; i < got; ++i)
        InkToBgr(ink->rows[i], cinfo->output_width, ink->inverted, rows[i]);
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
        ReadScanlines(cinfo, rows, want);
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
        ReadScanlines(cinfo, rows, want);
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

// Where the decoded rows land: whole blocks around a region (the library widens the crop
// to them), or the whole width.
struct Crop {
    JDIMENSION x = 0;
    JDIMENSION width = 0;
    std::size_t stride() const { return std::size_t(width) * 3; }
};

// What the decode will allocate, known from the header: the region (clipped), and the
// layout the caller's check sees. False when the check refuses it. Called with no libjpeg
// call inside, so the chooser and the check may throw.
bool AcceptLayout(j_decompress_ptr cinfo, const DecodeInput& input, const DecodeOutput& out,
                  JpegImage::Region& region, std::string& reason) {
    region = JpegImage::Region{0, 0, out.width, out.height};
    if (input.choose)
        region = ClipToImage((*input.choose)(out.width, out.height), out.width, out.height);
    const std::size_t stride = std::size_t(out.width) * 3;
    std::size_t pixelBytes = stride * std::size_t(out.height);
    if (input.sink) {
        pixelBytes = stride * kStripRows;
    } else if (input.choose) {
        // The crop is widened to whole blocks and a margin on each side.
        const std::size_t cropWidth = std::size_t(region.width) + 2 * (kMargin + DCTSIZE * 4);
        pixelBytes = std::min(stride, cropWidth * 3) * (std::size_t(region.height) + 1);
    }
    JpegImage::Layout layout;
    layout.width = out.width;
    layout.height = out.height;
    layout.decodeBytes = DecoderBytes(cinfo) + pixelBytes;
    return !input.check || (*input.check)(layout, reason);
}

// A region's columns with the margin on each side, widened by the library to whole blocks.
Crop ChooseCrop(j_decompress_ptr cinfo, const JpegImage::Region& region, bool fullWidth) {
    Crop crop{0, cinfo->output_width};
    if (fullWidth) return crop;
    const JDIMENSION x = JDIMENSION(region.x);
    crop.x = x > kMargin ? x - kMargin : 0;
    JDIMENSION end = region.width > 0 ? x + JDIMENSION(region.width) + kMargin : x + 1;
    if (end > cinfo->output_width) end = cinfo->output_width;
    if (crop.x >= end) crop.x = end - 1;
    crop.width = end - crop.x;
    jpeg_crop_scanline(cinfo, &crop.x, &crop.width);
    return crop;
}

// Sizes the buffer: a whole image grows row by row as it is read (done here); a region
// takes its rows and one more for rows read only to be thrown away; a strip is small.
// False when the memory cannot be had.
bool FillBuffer(j_decompress_ptr cinfo, std::vector<std::uint8_t>& bgr, const Crop& crop,
                const JpegImage::Region& region, bool whole, bool strips) {
    const std::size_t rows = strips ? kStripRows : whole ? 0 : std::size_t(region.height) + 1;
    try {
        const std::size_t wholeBytes = crop.stride() * std::size_t(region.height);
        if (whole && bgr.capacity() < wholeBytes) bgr.clear();
        bgr.resize(whole ? std::min(bgr.size(), wholeBytes) : crop.stride() * rows);
        if (whole) ReadAllRowsGrowing(cinfo, bgr, crop.stride());
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// The whole image handed to the sink a strip at a time.
void SinkStrips(j_decompress_ptr cinfo, std::uint8_t* strip, std::size_t stride,
                const JpegImage::RowSink& sink) {
    const JDIMENSION height = cinfo->output_height;
    while (cinfo->output_scanline < height) {
        const JDIMENSION first = cinfo->output_scanline;
        const JDIMENSION count = std::min(kStripRows, height - first);
        ReadRows(cinfo, first + count, strip, stride, first);
        sink(int(first), int(count), strip, stride);
    }
}

// The region's rows; the rows above it are skipped, their margin decoded and dropped.
void ReadRegionRows(j_decompress_ptr cinfo, std::vector<std::uint8_t>& bgr, std::size_t stride,
                    const JpegImage::Region& region) {
    std::uint8_t* scratch = bgr.data() + stride * std::size_t(region.height);
    const JDIMENSION top = JDIMENSION(region.y);
    SkipTo(cinfo, top > kMargin ? top - kMargin : 0);
    ReadRows(cinfo, top, scratch, 0, 0);
    ReadRows(cinfo, top + JDIMENSION(region.height), bgr.data(), stride, top);
}

// Multi-scan files were read to their end by jpeg_start_decompress. A single scan is read to
// its end below the region too: damaged codes there show only when the decoder meets the
// next marker. Skipping spares the inverse transform of those rows, not their decoding.
void ReadToEnd(j_decompress_ptr cinfo, std::uint8_t* scratch) {
    const JDIMENSION height = cinfo->output_height;
    if (cinfo->output_scanline < height && !jpeg_input_complete(cinfo)) {
        SkipTo(cinfo, height - 1);
        ReadRows(cinfo, height, scratch, 0, 0);
    }
    if (cinfo->output_scanline == height) {
        jpeg_finish_decompress(cinfo);
    } else {
        jpeg_abort_decompress(cinfo);
    }
}

// Moves the region's columns to the start of each row, rows region.width pixels long.
void PackRegion(std::vector<std::uint8_t>& bgr, const Crop& crop, const JpegImage::Region& region) {
    const std::size_t stride = std::size_t(region.width) * 3;
    const std::size_t offset = std::size_t(JDIMENSION(region.x) - crop.x) * 3;
    for (std::size_t j = 0; j < std::size_t(region.height); ++j) {
        std::memmove(bgr.data() + stride * j, bgr.data() + crop.stride() * j + offset, stride);
    }
    bgr.resize(stride * std::size_t(region.height));
}

// The decode once the library is set up. Library errors jump out of it to DecodeBgr;
// nothing here has a destructor that the jump could skip.
DecodeResult DecodeWithLibrary(j_decompress_ptr cinfo, ErrorManager& manager,
                               const DecodeInput& input, std::vector<std::uint8_t>& bgr,
                               DecodeOutput& out, std::string& reason) {
    jpeg_mem_src(cinfo, input.bytes, static_cast<unsigned long>(input.size));
    jpeg_read_header(cinfo, TRUE);
    manager.inScans = true;
    out.width = static_cast<int>(cinfo->image_width);
    out.height = static_cast<int>(cinfo->image_height);
    if (std::uint64_t(cinfo->image_width) * cinfo->image_height > kMaxFramePixels)
        return DecodeResult::TooLarge;
    JpegImage::Region region;
    if (!AcceptLayout(cinfo, input, out, region, reason)) return DecodeResult::Refused;
    const bool whole = !input.sink && region.x == 0 && region.y == 0 && region.width == out.width &&
                       region.height == out.height;

    // Greyscale and YCbCr/RGB sources all convert to BGR inside libjpeg-turbo; CMYK and
    // YCCK ones come out as CMYK, converted as rows are read.
    const bool inks = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    if (cinfo->jpeg_color_space == JCS_UNKNOWN) {
        reason = Reason(ReasonKind::JpegUnknownColour, {cinfo->num_components});
        return DecodeResult::Refused;
    }
    cinfo->out_color_space = inks ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_start_decompress(cinfo);
    const Crop crop = ChooseCrop(cinfo, region, whole || input.sink);
    if (inks) {
        InkRows* ink = static_cast<InkRows*>((*cinfo->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, sizeof(InkRows)));
        ink->rows = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                crop.width * 4, 16);
        ink->inverted = cinfo->saw_Adobe_marker;
        cinfo->client_data = ink;
    }
    if (!FillBuffer(cinfo, bgr, crop, region, whole, input.sink != nullptr))
        return DecodeResult::NoMemory;
    if (input.sink) {
        SinkStrips(cinfo, bgr.data(), crop.stride(), *input.sink);
        region = JpegImage::Region{};
    } else if (!whole && region.height > 0) {
        ReadRegionRows(cinfo, bgr, crop.stride(), region);
    }
    ReadToEnd(cinfo, bgr.data() + crop.stride() * std::size_t(region.height));

    if (input.sink) {
        bgr.clear();
    } else if (!whole) {
        PackRegion(bgr, crop, region);
    }
    out.region = region;
    return DecodeResult::Ok;
}

// How the library failed, for the message.
struct LibraryFailure {
    char message[JMSG_LENGTH_MAX] = {};
    int code = 0;
};

// Plain function around setjmp. `bgr` belongs to the caller and keeps its capacity from frame
// to frame; `reason` receives a layout check's refusal. Exceptions from the caller's chooser,
// check or sink pass through after the library's memory is freed.
DecodeResult DecodeBgr(const DecodeInput& input, std::vector<std::uint8_t>& bgr, DecodeOutput& out,
                       LibraryFailure& failure, std::string& reason) {
    jpeg_decompress_struct cinfo;
    ErrorManager manager;
    cinfo.err = &InstallErrorManager(manager)->pub;
    if (setjmp(manager.jump)) {
        std::memcpy(failure.message, manager.message, sizeof manager.message);
        failure.code = manager.pub.msg_code;
        jpeg_destroy_decompress(&cinfo);
        return DecodeResult::LibraryError;
    }
    jpeg_create_decompress(&cinfo);
    try {
        const DecodeResult result = DecodeWithLibrary(&cinfo, manager, input, bgr, out, reason);
        jpeg_destroy_decompress(&cinfo);
        return result;
    } catch (...) {
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
}

// Plain function around setjmp, as DecodeBgr.
bool ReadHeaderFacts(const std::uint8_t* bytes, std::size_t size, JpegImage::HeaderFacts& facts,
                     LibraryFailure& failure) {
    jpeg_decompress_struct cinfo;
    ErrorManager manager;
    cinfo.err = &InstallErrorManager(manager)->pub;
    if (setjmp(manager.jump)) {
        std::memcpy(failure.message, manager.message, sizeof manager.message);
        failure.code = manager.pub.msg_code;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    facts.width = int(cinfo.image_width);
    facts.height = int(cinfo.image_height);
    facts.components = cinfo.num_components;
    facts.precision = cinfo.data_precision;
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// The output of the encoder, owned outside the function that calls setjmp.
struct EncodedBuffer {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    ~EncodedBuffer() { std::free(data); }
};

bool EncodeBgr(const std::uint8_t* bgr, int width, int height, std::size_t stride, int quality,
               EncodedBuffer& buffer, char* message) {
    jpeg_compress_struct cinfo;
    ErrorManager manager;
    cinfo.err = &InstallErrorManager(manager)->pub;
    if (setjmp(manager.jump)) {
        std::memcpy(message, manager.message, sizeof manager.message);
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer.data, &buffer.size);
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

// Turns a decode outcome into the reason callers show after the file name.
std::string DecodeReason(DecodeResult result, const LibraryFailure& failure, int width, int height,
                         const std::string& refusal) {
    switch (result) {
    case DecodeResult::Ok:
        return {};
    case DecodeResult::Refused:
        return refusal;
    case DecodeResult::TooLarge:
        return TooLargeReason(width, height);
    case DecodeResult::NoMemory:
        return Reason(ReasonKind::NoMemoryPixels, {width, height});
    case DecodeResult::LibraryError:
        if (failure.code == JERR_NO_SOI || failure.code == JERR_INPUT_EMPTY) {
            return Reason(ReasonKind::NotJpegLibrary, {failure.message});
        }
        return Reason(ReasonKind::JpegCannotDecode, {failure.message});
    }
    return {};
}

}  // namespace

bool JpegImage::loadFile(const std::string& path, std::string& error) {
    width_ = height_ = regionX_ = regionY_ = regionWidth_ = regionHeight_ = 0;
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, error)) {
        bgr_.clear();
        return false;
    }
    return decode(bytes.data(), bytes.size(), nullptr, nullptr, nullptr, error);
}

bool JpegImage::readHeader(const std::uint8_t* bytes, std::size_t size, HeaderFacts& facts,
                           std::string& error) {
    static const std::uint8_t kNothing = 0;
    LibraryFailure failure;
    if (ReadHeaderFacts(bytes ? bytes : &kNothing, bytes ? size : 0, facts, failure)) return true;
    error = DecodeReason(DecodeResult::LibraryError, failure, 0, 0, {});
    return false;
}

bool JpegImage::loadMemory(const std::uint8_t* bytes, std::size_t size, std::string& error) {
    return decode(bytes, size, nullptr, nullptr, nullptr, error);
}

bool JpegImage::loadMemoryRegion(const std::uint8_t* bytes, std::size_t size,
                                 const RegionChooser& choose, const LayoutCheck* check,
                                 std::string& error) {
    return decode(bytes, size, &choose, check, nullptr, error);
}

bool JpegImage::loadMemoryCentre(const std::uint8_t* bytes, std::size_t size, int windowWidth,
                                 int windowHeight, const LayoutCheck* check, std::string& error) {
    const int w = std::max(windowWidth, 0);
    const int h = std::max(windowHeight, 0);
    return loadMemoryRegion(
        bytes, size,
        [w, h](int width, int height) {
            return Region{(width - w) / 2, (height - h) / 2, w, h};
        },
        check, error);
}

bool JpegImage::readMemoryRows(const std::uint8_t* bytes, std::size_t size,
                               const LayoutCheck& check, const RowSink& sink, std::string& error) {
    return decode(bytes, size, nullptr, &check, &sink, error);
}

// bgr_ keeps its size on entry: a frame of the same size as the last one is decoded in
// place without allocating or clearing.
bool JpegImage::decode(const std::uint8_t* bytes, std::size_t size, const RegionChooser* choose,
                       const LayoutCheck* check, const RowSink* sink, std::string& error) {
    width_ = height_ = regionX_ = regionY_ = regionWidth_ = regionHeight_ = 0;
    static const std::uint8_t kNothing = 0;
    DecodeInput input;
    input.bytes = bytes ? bytes : &kNothing;
    input.size = bytes ? size : 0;
    input.choose = choose;
    input.check = check;
    input.sink = sink;
    LibraryFailure failure;
    std::string refusal;
    DecodeOutput out;
    const DecodeResult result = DecodeBgr(input, bgr_, out, failure, refusal);
    if (result != DecodeResult::Ok) {
        bgr_.clear();
        error = DecodeReason(result, failure, out.width, out.height, refusal);
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

bool JpegImage::encode(const std::uint8_t* bgr, int width, int height, std::size_t stride,
                       int quality, std::vector<std::uint8_t>& file, std::string& error) {
    if (!bgr || width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION ||
        height > JPEG_MAX_DIMENSION || stride < std::size_t(width) * 3)
        return Fail(error, Reason(ReasonKind::JpegWriteInvalid, {width, height}));
    if (quality < 1 || quality > 100)
        return Fail(error, Reason(ReasonKind::JpegWriteQuality, {quality}));
    EncodedBuffer buffer;
    char message[JMSG_LENGTH_MAX] = {};
    if (!EncodeBgr(bgr, width, height, stride, quality, buffer, message))
        return Fail(error, Reason(ReasonKind::JpegCannotWrite, {message}));
    try {
        file.assign(buffer.data, buffer.data + buffer.size);
    } catch (const std::bad_alloc&) {
        return Fail(error, Reason(ReasonKind::JpegWriteNoMemory));
    }
    return true;
}

}  // namespace framesifter
