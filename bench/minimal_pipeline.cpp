// The yardstick for a batch run: the least work that gives a frame's band score, written
// directly on FFTW, libjpeg and cfitsio. Per frame: the centred 256 x 256 window from one
// positioned read of its rows (JPEG: one read of the file and a cropped decode of the window;
// FITS other than plain 16-bit: cfitsio's read of the window's block, as physical values),
// FFTW's real 2-D transform with a measured plan, the amplitudes summed into bins by truncated
// distance from the centre of the centred spectrum, and the sum of bins LOW..HIGH.
// Frames are taken from a shared counter by T threads; the scores come out in list order.
// A SER video stands for all its frames, PATH#N one frame of it (N from 1); its header is
// read once, and each thread opens it once.
//
// usage: minimal_pipeline [--threads T] [--band LOW:HIGH] [--wisdom FILE] [--check CSV] FILE...
//   --wisdom  FFTW wisdom kept between runs, so that repeated runs do not time the planning
//   --check   the CSV of `framesifter-cli select` over the same files: prints how the
//             scores and their order agree, and exits 1 when they do not

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>  // before jpeglib.h, which uses FILE
#include <fftw3.h>
#include <fitsio.h>
#include <jpeglib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

constexpr int N = 256;
constexpr int kHalf = N / 2 + 1;
constexpr int kBins = 400;  // every distance in the centred plane is below 181
constexpr int kSink = kBins;
// A decoded crop's edge columns differ from a full decode under smooth chroma upsampling;
// one block more on each side gives the full decode's pixels.
constexpr unsigned kJpegMargin = 16;

struct Failure {
    std::string reason;
};

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Extension(const std::string& path) {
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return Lower(path.substr(dot));
}

void ReadAt(int fd, std::uint8_t* to, std::size_t bytes, std::size_t offset) {
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t got = pread(fd, to + done, bytes - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw Failure{std::string("read error: ") + std::strerror(errno)};
        if (got == 0)
            throw Failure{"truncated: " + std::to_string(offset + done) + " of " +
                          std::to_string(offset + bytes) + " bytes present"};
        done += std::size_t(got);
    }
}

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void CheckSize(long long width, long long height) {
    if (width < N || height < N)
        throw Failure{"the frame is " + std::to_string(width) + " x " + std::to_string(height) +
                      " pixels; at least 256 x 256 are needed"};
}

// window[row * N + col] = green of pixel (x0 + col, y0 + row), uncompressed 8 or 24 bits.
void BmpWindow(int fd, std::vector<std::uint8_t>& buffer, double* window) {
    std::uint8_t head[14 + 124 + 1024];
    const std::size_t size = std::size_t(lseek(fd, 0, SEEK_END));
    const std::size_t headBytes = std::min(sizeof head, size);
    ReadAt(fd, head, headBytes, 0);
    if (headBytes < 54 || head[0] != 'B' || head[1] != 'M') throw Failure{"not a BMP file"};
    const std::uint32_t dataOffset = Le32(head + 10), infoSize = Le32(head + 14);
    const long long width = std::int32_t(Le32(head + 18));
    const long long signedHeight = std::int32_t(Le32(head + 22));
    const int bits = head[28] | head[29] << 8;
    if (infoSize < 40 || infoSize > 124 || Le32(head + 30) != 0 || (bits != 8 && bits != 24))
        throw Failure{"only uncompressed 8- and 24-bit BMPs are read"};
    const long long height = std::llabs(signedHeight);
    CheckSize(width, height);
    std::uint8_t green[256] = {};
    if (bits == 8) {
        const std::uint32_t used = Le32(head + 46);
        const std::size_t colours = std::min<std::size_t>(used ? used : 256, 256);
        const std::size_t palette = 14 + infoSize;
        if (palette + colours * 4 > headBytes) throw Failure{"the BMP palette is cut off"};
        for (std::size_t c = 0; c < colours; ++c) green[c] = head[palette + c * 4 + 1];
    }
    const std::size_t stride = std::size_t((width * bits + 31) / 32 * 4);
    const long long x0 = (width - N) / 2, y0 = (height - N) / 2;
    // Rows are stored bottom up unless the height is negative.
    const long long firstStored = signedHeight > 0 ? height - y0 - N : y0;
    buffer.resize(stride * N);
    ReadAt(fd, buffer.data(), buffer.size(), dataOffset + std::size_t(firstStored) * stride);
    for (int row = 0; row < N; ++row) {
        const int stored = signedHeight > 0 ? N - 1 - row : row;
        const std::uint8_t* p = buffer.data() + std::size_t(stored) * stride;
        double* out = window + row * N;
        if (bits == 24) {
            p += std::size_t(x0) * 3 + 1;
            for (int col = 0; col < N; ++col) out[col] = p[col * 3];
        } else {
            p += x0;
            for (int col = 0; col < N; ++col) out[col] = green[p[col]];
        }
    }
}

// A plain 16-bit image in the primary unit: a value is the stored signed word plus BZERO.
// False, with nothing read beyond the header, for any other FITS, which cfitsio then reads.
bool FitsWindow(int fd, std::vector<std::uint8_t>& buffer, double* window) {
    long long width = -1, height = -1;
    double bzero = 0, bscale = 1;
    int bitpix = 0, axes = 0;
    bool blank = false;
    std::size_t dataOffset = 0;
    std::uint8_t block[2880];
    for (std::size_t at = 0; !dataOffset; at += sizeof block) {
        if (at > 100 * sizeof block) throw Failure{"no END card in the FITS header"};
        ReadAt(fd, block, sizeof block, at);
        for (int card = 0; card < 36 && !dataOffset; ++card) {
            const char* c = reinterpret_cast<const char*>(block) + card * 80;
            const std::string key(c, 8);
            const std::string value(c + 10, 70);
            if (key.compare(0, 3, "END") == 0 && key.find_first_not_of(' ', 3) == std::string::npos)
                dataOffset = at + sizeof block;
            else if (key == "BITPIX  ")
                bitpix = std::atoi(value.c_str());
            else if (key == "NAXIS   ")
                axes = std::atoi(value.c_str());
            else if (key == "NAXIS1  ")
                width = std::atoll(value.c_str());
            else if (key == "NAXIS2  ")
                height = std::atoll(value.c_str());
            else if (key == "BZERO   ")
                bzero = std::strtod(value.c_str(), nullptr);
            else if (key == "BSCALE  ")
                bscale = std::strtod(value.c_str(), nullptr);
            else if (key == "BLANK   ")
                blank = true;
        }
    }
    if (bitpix != 16 || axes != 2 || bscale != 1 || blank || bzero != std::trunc(bzero) ||
        std::fabs(bzero) > 1e9)
        return false;
    CheckSize(width, height);
    const long long x0 = (width - N) / 2, y0 = (height - N) / 2;
    const std::size_t stride = std::size_t(width) * 2;
    buffer.resize(stride * N);
    ReadAt(fd, buffer.data(), buffer.size(), dataOffset + std::size_t(y0) * stride);
    const int zero = int(bzero);
    for (int row = 0; row < N; ++row) {
        const std::uint8_t* p = buffer.data() + std::size_t(row) * stride + std::size_t(x0) * 2;
        double* out = window + row * N;
        for (int col = 0; col < N; ++col, p += 2)
            out[col] = double(std::int16_t(std::uint16_t(p[0] << 8 | p[1])) + zero);
    }
    return true;
}

// cfitsio is loaded when the first FITS file needs it: linked in, it and the libraries it
// brings would add 3 ms to the start of every run, of other kinds too.
struct FitsLibrary {
    decltype(&ffdkopn) openDiskFile = nullptr;
    decltype(&ffgidm) imageDimensions = nullptr;
    decltype(&ffgisz) imageSize = nullptr;
    decltype(&ffmahd) moveToUnit = nullptr;
    decltype(&ffgsv) readSubset = nullptr;
    decltype(&ffclos) closeFile = nullptr;
    decltype(&ffgerr) statusText = nullptr;
    decltype(&ffcmsg) clearMessages = nullptr;
    bool reentrant = false;
    std::string error;
};

const FitsLibrary& Fits() {
    static const FitsLibrary library = [] {
        FitsLibrary f;
        void* handle = dlopen(CFITSIO_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            f.error = dlerror();
            return f;
        }
        auto find = [&](auto& to, const char* name) {
            to = reinterpret_cast<std::remove_reference_t<decltype(to)>>(dlsym(handle, name));
            if (!to && f.error.empty())
                f.error = std::string("no ") + name + " in " CFITSIO_LIBRARY;
        };
        find(f.openDiskFile, "ffdkopn");
        find(f.imageDimensions, "ffgidm");
        find(f.imageSize, "ffgisz");
        find(f.moveToUnit, "ffmahd");
        find(f.readSubset, "ffgsv");
        find(f.closeFile, "ffclos");
        find(f.statusText, "ffgerr");
        find(f.clearMessages, "ffcmsg");
        decltype(&fits_is_reentrant) reentrant = nullptr;
        find(reentrant, "fits_is_reentrant");
        f.reentrant = f.error.empty() && reentrant() != 0;
        return f;
    }();
    if (!library.error.empty()) throw Failure{"cannot load cfitsio: " + library.error};
    return library;
}

// cfitsio built without its own locking must not be entered by two threads at once.
std::mutex g_fitsMutex;

std::string FitsMessage(const FitsLibrary& lib, int status) {
    char text[FLEN_STATUS] = {};
    lib.statusText(status, text);
    lib.clearMessages();
    return text;
}

// Any other FITS image through cfitsio: the window's block of physical values (BZERO +
// BSCALE x stored value; undefined values and NaN as 0), from the green plane of a
// three-plane image, from the first extension when the primary unit holds none. True when
// the values are not all whole numbers within the int range: then the scores are kept
// unrounded.
bool GeneralFitsWindow(const std::string& path, double* window) {
    const FitsLibrary& lib = Fits();
    std::unique_lock<std::mutex> lock;
    if (!lib.reentrant) lock = std::unique_lock<std::mutex>(g_fitsMutex);
    fitsfile* f = nullptr;
    int status = 0;
    // Not fits_open_file, which would read a name's brackets as a filter.
    lib.openDiskFile(&f, path.c_str(), READONLY, &status);
    if (status) throw Failure{"cannot open the FITS image: " + FitsMessage(lib, status)};
    int axes = 0;
    long sizes[3] = {1, 1, 1};
    lib.imageDimensions(f, &axes, &status);
    if (!status && axes == 0) {
        int type = 0;
        lib.moveToUnit(f, 2, &type, &status);
        if (!status && type != IMAGE_HDU) status = NOT_IMAGE;
        lib.imageDimensions(f, &axes, &status);
    }
    lib.imageSize(f, 3, sizes, &status);
    double undefined = std::nan("");
    int anyUndefined = 0;
    if (!status && (axes < 2 || axes > 3)) status = BAD_NAXIS;
    if (!status && sizes[0] >= N && sizes[1] >= N) {
        const long plane = axes == 3 && sizes[2] == 3 ? 2 : 1;
        const long x0 = (sizes[0] - N) / 2, y0 = (sizes[1] - N) / 2;
        long first[3] = {x0 + 1, y0 + 1, plane}, last[3] = {x0 + N, y0 + N, plane};
        long step[3] = {1, 1, 1};
        lib.readSubset(f, TDOUBLE, first, last, step, &undefined, window, &anyUndefined, &status);
    }
    const int readStatus = status;
    status = 0;
    lib.closeFile(f, &status);
    if (readStatus) throw Failure{"cannot read the FITS image: " + FitsMessage(lib, readStatus)};
    lock = {};
    CheckSize(sizes[0], sizes[1]);
    bool real = false;
    for (int k = 0; k < N * N; ++k) {
        double& v = window[k];
        if (!std::isfinite(v)) v = 0;
        real = real || v != std::trunc(v) || v < INT32_MIN || v > INT32_MAX;
    }
    return real;
}

// A SER video's header, read once for all its frames.
struct Video {
    std::string path;
    int width = 0, height = 0, frames = 0;
    int planes = 1;  // 3 for RGB and BGR, interleaved
    int bytes = 1;   // per sample: 2 for depths 9..16
    // Two-byte samples are big-endian when the byte-order flag is non-zero: real captures
    // follow the first capture programs, which wrote the flag the other way to its name.
    bool bigEndian = false;
    std::size_t rowBytes = 0;
    std::uint64_t frameBytes = 0;
};

constexpr std::size_t kSerHeaderBytes = 178;

Video ReadSerHeader(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Failure{std::string("cannot open: ") + std::strerror(errno)};
    struct stat st;
    std::uint8_t head[kSerHeaderBytes];
    try {
        if (fstat(fd, &st) != 0) throw Failure{std::string("cannot stat: ") + std::strerror(errno)};
        ReadAt(fd, head, sizeof head, 0);
    } catch (const Failure&) {
        close(fd);
        throw;
    }
    close(fd);
    if (std::memcmp(head, "LUCAM-RECORDER", 14) != 0)
        throw Failure{"not a SER video (no LUCAM-RECORDER signature)"};
    const auto field = [&](int at) { return std::int32_t(Le32(head + at)); };
    const int colour = field(18), depth = field(34);
    const bool mono =
        colour == 0 || (colour >= 8 && colour <= 11) || (colour >= 16 && colour <= 19);
    if (!mono && colour != 100 && colour != 101)
        throw Failure{"unknown colour ID " + std::to_string(colour)};
    if (depth < 1 || depth > 16)
        throw Failure{"pixel depth " + std::to_string(depth) + " (1 to 16 are read)"};
    Video v;
    v.path = path;
    v.width = field(26);
    v.height = field(30);
    v.frames = field(38);
    if (v.width < 1 || v.height < 1 || v.width > 16000 || v.height > 16000)
        throw Failure{"frame size " + std::to_string(v.width) + " x " + std::to_string(v.height)};
    if (v.frames < 1) throw Failure{"no frames"};
    v.planes = mono ? 1 : 3;
    v.bytes = depth > 8 ? 2 : 1;
    v.bigEndian = field(22) != 0;
    v.rowBytes = std::size_t(v.width) * std::size_t(v.planes * v.bytes);
    v.frameBytes = std::uint64_t(v.rowBytes) * std::uint64_t(v.height);
    // The header was read whole, so the file holds at least its 178 bytes.
    const std::uint64_t present = (std::uint64_t(st.st_size) - kSerHeaderBytes) / v.frameBytes;
    if (present < std::uint64_t(v.frames))
        throw Failure{"truncated: " + std::to_string(v.frames) + " frames announced, " +
                      std::to_string(present) + " present"};
    return v;
}

// The analysis sample of a row's columns x0 .. x0+N-1: the sample itself, or the middle
// (green) one of three.
template <int Planes, int Bytes, bool BigEndian>
void SerRow(const std::uint8_t* row, std::size_t x0, double* out) {
    const std::uint8_t* p = row + x0 * (Planes * Bytes) + (Planes == 3 ? Bytes : 0);
    for (int col = 0; col < N; ++col, p += Planes * Bytes) {
        if (Bytes == 1)
            out[col] = p[0];
        else
            out[col] = BigEndian ? p[0] << 8 | p[1] : p[1] << 8 | p[0];
    }
}

// window[row * N + col] from frame `frame` (from 1), one positioned read of its rows.
void SerWindow(int fd, const Video& v, int frame, std::vector<std::uint8_t>& buffer,
               double* window) {
    if (frame < 1 || frame > v.frames)
        throw Failure{"no frame " + std::to_string(frame) + " in a video of " +
                      std::to_string(v.frames) + " frames"};
    CheckSize(v.width, v.height);
    const std::size_t x0 = std::size_t(v.width - N) / 2, y0 = std::size_t(v.height - N) / 2;
    buffer.resize(v.rowBytes * N);
    ReadAt(fd, buffer.data(), buffer.size(),
           kSerHeaderBytes + std::size_t(frame - 1) * v.frameBytes + y0 * v.rowBytes);
    auto rows = [&](auto convert) {
        for (int row = 0; row < N; ++row)
            convert(buffer.data() + std::size_t(row) * v.rowBytes, x0, window + row * N);
    };
    if (v.planes == 1 && v.bytes == 1)
        rows(SerRow<1, 1, false>);
    else if (v.planes == 1 && v.bigEndian)
        rows(SerRow<1, 2, true>);
    else if (v.planes == 1)
        rows(SerRow<1, 2, false>);
    else if (v.bytes == 1)
        rows(SerRow<3, 1, false>);
    else if (v.bigEndian)
        rows(SerRow<3, 2, true>);
    else
        rows(SerRow<3, 2, false>);
}

struct JpegErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegFail(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, errors->message);
    std::longjmp(errors->jump, 1);
}

// One decompressor per thread, returned to its idle state after every frame.
struct JpegDecoder {
    jpeg_decompress_struct cinfo;
    JpegErrors errors;
    std::vector<std::uint8_t> file, rows;

    JpegDecoder() {
        cinfo.err = jpeg_std_error(&errors.pub);
        errors.pub.error_exit = JpegFail;
        // Warnings are counted, and their text kept for the error.
        errors.pub.output_message = [](j_common_ptr c) {
            (*c->err->format_message)(c, reinterpret_cast<JpegErrors*>(c->err)->message);
        };
        jpeg_create_decompress(&cinfo);
    }
    ~JpegDecoder() { jpeg_destroy_decompress(&cinfo); }

    void window(int fd, double* out) {
        struct stat st;
        if (fstat(fd, &st) != 0) throw Failure{std::string("cannot stat: ") + std::strerror(errno)};
        file.resize(std::size_t(st.st_size));
        ReadAt(fd, file.data(), file.size(), 0);
        if (setjmp(errors.jump)) {
            jpeg_abort_decompress(&cinfo);
            throw Failure{std::string("not a readable JPEG: ") + errors.message};
        }
        errors.pub.num_warnings = 0;
        jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_RGB;
        jpeg_start_decompress(&cinfo);
        const JDIMENSION width = cinfo.output_width, height = cinfo.output_height;
        if (width < JDIMENSION(N) || height < JDIMENSION(N)) {
            jpeg_abort_decompress(&cinfo);
            CheckSize(width, height);
        }
        const JDIMENSION x0 = (width - N) / 2, y0 = (height - N) / 2;
        JDIMENSION cropX = x0 > kJpegMargin ? x0 - kJpegMargin : 0;
        JDIMENSION cropWidth = std::min(x0 + N + kJpegMargin, width) - cropX;
        jpeg_crop_scanline(&cinfo, &cropX, &cropWidth);
        const std::size_t stride = std::size_t(cropWidth) * 3;
        rows.resize(stride);
        if (y0 > 0) jpeg_skip_scanlines(&cinfo, y0);
        const std::size_t green = std::size_t(x0 - cropX) * 3 + 1;
        for (int row = 0; row < N; ++row) {
            JSAMPROW line = rows.data();
            if (jpeg_read_scanlines(&cinfo, &line, 1) != 1) {
                jpeg_abort_decompress(&cinfo);
                throw Failure{"the JPEG has fewer rows than it declares"};
            }
            double* o = out + row * N;
            for (int col = 0; col < N; ++col) o[col] = rows[green + std::size_t(col) * 3];
        }
        jpeg_abort_decompress(&cinfo);
        // Damaged data inside the window is filled in by the decoder, with a warning.
        if (errors.pub.num_warnings)
            throw Failure{"damaged JPEG data in the window: " + std::string(errors.message)};
    }
};

// For every cell (k1, k2) of FFTW's half spectrum out[k1 * kHalf + k2], the bin of the
// frequency and of its mirror (-k1, -k2), which has the same amplitude and is not stored;
// kSink where the mirror lies in the half itself. Frequency k sits at (k + N/2) mod N of the
// centred plane, whose centre is (N - 1) / 2.
struct BinTables {
    std::vector<int> own, mirror;
    static int Bin(int k1, int k2) {
        const double di = (k1 + N / 2) % N - (N - 1) * 0.5, dj = (k2 + N / 2) % N - (N - 1) * 0.5;
        return int(std::sqrt(di * di + dj * dj));
    }
    BinTables() : own(std::size_t(N) * kHalf), mirror(own.size()) {
        for (int k1 = 0; k1 < N; ++k1) {
            for (int k2 = 0; k2 < kHalf; ++k2) {
                own[std::size_t(k1) * kHalf + k2] = Bin(k1, k2);
                mirror[std::size_t(k1) * kHalf + k2] =
                    (k2 == 0 || k2 == N / 2) ? kSink : Bin((N - k1) % N, N - k2);
            }
        }
    }
};

// AVX2 where the processor has it, as FFTW itself uses it.
__attribute__((target_clones("avx2", "default"))) void Amplitudes(const fftw_complex* z, double* a,
                                                                  int count) {
    for (int c = 0; c < count; ++c) a[c] = std::sqrt(z[c][0] * z[c][0] + z[c][1] * z[c][1]);
}

struct Score {
    double exact = 0;
    double truncated = 0;  // bins truncated to integers before the sum, as the program keeps them
};

// The program transforms w + i w, whose amplitudes are sqrt(2) times those of w, divided by
// N * N; the same scale makes the scores comparable.
Score BandScore(const fftw_complex* spectrum, double* amplitude, const BinTables& bins, int low,
                int high) {
    const int cells = N * kHalf;
    Amplitudes(spectrum, amplitude, cells);
    double profile[kBins + 1] = {};
    for (int c = 0; c < cells; ++c) {
        profile[bins.own[std::size_t(c)]] += amplitude[c];
        profile[bins.mirror[std::size_t(c)]] += amplitude[c];
    }
    const double scale = std::sqrt(2.0) / (double(N) * N);
    Score score;
    for (int b = low; b <= high; ++b) {
        score.exact += profile[b] * scale;
        score.truncated += std::trunc(profile[b] * scale);
    }
    return score;
}

struct Result {
    Score score;
    bool real = false;  // the window's values are not all integers: the program keeps exact bins
    std::string error;
};

// What the program's CSV says for the score: its bins truncated, or exact for a real window.
double Kept(const Result& r) { return r.real ? r.score.exact : r.score.truncated; }

// One frame of the list: a still file, or frame `frame` (from 1) of video `video`.
struct Entry {
    std::string name;  // as the program's CSV names it: PATH or PATH#N
    std::string path;
    int video = -1;
    int frame = 0;
};

struct Worker {
    double* in = fftw_alloc_real(std::size_t(N) * N);
    fftw_complex* out = fftw_alloc_complex(std::size_t(N) * kHalf);
    std::vector<double> amplitude = std::vector<double>(std::size_t(N) * kHalf);
    std::vector<std::uint8_t> buffer;
    JpegDecoder jpeg;
    std::vector<int> videoFds;  // each video opened once, when its first frame comes
    ~Worker() {
        fftw_free(in);
        fftw_free(out);
        for (int fd : videoFds)
            if (fd >= 0) close(fd);
    }
    explicit Worker(std::size_t videos) : videoFds(videos, -1) {}
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
};

void AnalyseFile(const std::string& path, Worker& w, Result& result) {
    const std::string ext = Extension(path);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Failure{std::string("cannot open: ") + std::strerror(errno)};
    try {
        if (ext == ".fit" || ext == ".fits" || ext == ".fts") {
            if (!FitsWindow(fd, w.buffer, w.in)) result.real = GeneralFitsWindow(path, w.in);
        } else if (ext == ".bmp") {
            BmpWindow(fd, w.buffer, w.in);
        } else if (ext == ".jpg" || ext == ".jpeg") {
            w.jpeg.window(fd, w.in);
        } else {
            throw Failure{"not a BMP, JPEG, FITS or SER file name"};
        }
    } catch (const Failure&) {
        close(fd);
        throw;
    }
    close(fd);
}

void Analyse(const Entry& entry, const std::vector<Video>& videos, Worker& w, fftw_plan plan,
             const BinTables& bins, int low, int high, Result& result) {
    try {
        if (entry.video >= 0) {
            int& fd = w.videoFds[std::size_t(entry.video)];
            if (fd < 0) fd = open(entry.path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) throw Failure{std::string("cannot open: ") + std::strerror(errno)};
            SerWindow(fd, videos[std::size_t(entry.video)], entry.frame, w.buffer, w.in);
        } else {
            AnalyseFile(entry.path, w, result);
        }
        fftw_execute_dft_r2c(plan, w.in, w.out);
        result.score = BandScore(w.out, w.amplitude.data(), bins, low, high);
    } catch (const Failure& f) {
        result.error = f.reason;
    }
}

fftw_plan MeasuredPlan(const std::string& wisdom) {
    const bool known = !wisdom.empty() && fftw_import_wisdom_from_filename(wisdom.c_str());
    double* in = fftw_alloc_real(std::size_t(N) * N);
    fftw_complex* out = fftw_alloc_complex(std::size_t(N) * kHalf);
    const fftw_plan plan = fftw_plan_dft_r2c_2d(N, N, in, out, FFTW_MEASURE);
    if (!known && !wisdom.empty()) fftw_export_wisdom_to_filename(wisdom.c_str());
    fftw_free(in);
    fftw_free(out);
    return plan;
}

std::vector<Result> RunAll(const std::vector<Entry>& entries, const std::vector<Video>& videos,
                           int threads, fftw_plan plan, int low, int high) {
    const BinTables bins;
    std::vector<Result> results(entries.size());
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            Worker w(videos.size());
            for (std::size_t k = next++; k < entries.size(); k = next++)
                Analyse(entries[k], videos, w, plan, bins, low, high, results[k]);
        });
    }
    for (std::thread& t : pool) t.join();
    return results;
}

bool IsSer(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::size_t name = slash == std::string::npos ? path.size() : path.size() - slash - 1;
    return Extension(path) == ".ser" && name > 4;
}

// The frames the arguments stand for, in order, as the program's CLI takes them: a video
// is all its frames; PATH#N (N from 1, no sign or leading zero) is frame N of the video PATH.
std::vector<Entry> Entries(const std::vector<std::string>& args, std::vector<Video>& videos) {
    std::map<std::string, int> known;
    auto video = [&](const std::string& path) {
        const auto found = known.find(path);
        if (found != known.end()) return found->second;
        try {
            videos.push_back(ReadSerHeader(path));
        } catch (const Failure& f) {
            throw Failure{path + ": " + f.reason};
        }
        return known[path] = int(videos.size() - 1);
    };
    std::vector<Entry> entries;
    for (const std::string& arg : args) {
        const auto hash = arg.rfind('#');
        const std::string number = hash == std::string::npos ? "" : arg.substr(hash + 1);
        const bool numbered = !number.empty() && number[0] != '0' && number.size() <= 9 &&
                              number.find_first_not_of("0123456789") == std::string::npos &&
                              IsSer(arg.substr(0, hash));
        if (numbered) {
            entries.push_back(
                {arg, arg.substr(0, hash), video(arg.substr(0, hash)), std::atoi(number.c_str())});
        } else if (IsSer(arg)) {
            const int v = video(arg);
            for (int n = 1; n <= videos[std::size_t(v)].frames; ++n)
                entries.push_back({arg + "#" + std::to_string(n), arg, v, n});
        } else {
            entries.push_back({arg, arg, -1, 0});
        }
    }
    return entries;
}

// Reads "file,score,passed,flags" rows; file names with commas or quotes are not expected
// here.
std::vector<double> ProgramScores(const std::string& csv, const std::vector<Entry>& entries) {
    std::ifstream in(csv);
    if (!in) throw Failure{csv + ": cannot open"};
    std::string line;
    std::getline(in, line);
    std::vector<double> scores;
    while (std::getline(in, line)) {
        const auto score = line.find(',');
        const auto last = score == std::string::npos ? score : line.find(',', score + 1);
        if (last == std::string::npos || score == 0)
            throw Failure{csv + ": not a select CSV row: '" + line + "'"};
        if (scores.size() >= entries.size() ||
            line.compare(0, score, entries[scores.size()].name) != 0)
            throw Failure{csv + ": its files are not the files given, in their order"};
        scores.push_back(std::strtod(line.c_str() + score + 1, nullptr));
    }
    if (scores.size() != entries.size())
        throw Failure{csv + ": " + std::to_string(scores.size()) + " rows for " +
                      std::to_string(entries.size()) + " frames"};
    return scores;
}

// Scores truncated per bin as the program does should equal the program's; a bin that
// lands within rounding of a whole number may still truncate one lower on one side. A frame
// of real values keeps its exact bins, which two transforms give alike to rounding only:
// those count as equal within a relative 1e-9. The order is compared over all pairs of
// frames.
bool CheckAgainst(const std::vector<double>& program, const std::vector<Result>& ours) {
    std::size_t equal = 0, swapped = 0, real = 0;
    double worst = 0;
    for (std::size_t k = 0; k < ours.size(); ++k) {
        const double diff = std::fabs(Kept(ours[k]) - program[k]);
        if (ours[k].real) {
            ++real;
            const double relative = diff / std::max(std::fabs(program[k]), 1e-300);
            equal += relative <= 1e-9;
            worst = std::max(worst, relative);
        } else {
            equal += diff == 0;
            worst = std::max(worst, diff / std::max(program[k], 1.0));
        }
        for (std::size_t m = k + 1; m < ours.size(); ++m) {
            const double a = Kept(ours[k]) - Kept(ours[m]);
            const double b = program[k] - program[m];
            swapped += (a > 0 && b < 0) || (a < 0 && b > 0);
        }
    }
    const bool agree = worst <= 1e-3 && swapped == 0;
    std::printf(
        "check: %zu frames%s, %zu scores equal to the program's, largest relative "
        "difference %.2g, %zu pairs in another order -> %s\n",
        ours.size(), real ? (", " + std::to_string(real) + " of real values").c_str() : "", equal,
        worst, swapped, agree ? "AGREE" : "DISAGREE");
    return agree;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: minimal_pipeline [--threads T] [--band LOW:HIGH] [--wisdom FILE] "
                 "[--check CSV] FILE...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int threads = int(std::max(1u, std::thread::hardware_concurrency()));
    int low = 25, high = 50;
    std::string wisdom, check;
    std::vector<std::string> paths;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        const bool hasValue = a + 1 < argc;
        if (arg == "--threads" && hasValue) {
            threads = std::atoi(argv[++a]);
            if (threads < 1 || threads > 64) return Usage();
        } else if (arg == "--band" && hasValue) {
            if (std::sscanf(argv[++a], "%d:%d", &low, &high) != 2 || low < 0 || high < low ||
                high >= kBins)
                return Usage();
        } else if (arg == "--wisdom" && hasValue) {
            wisdom = argv[++a];
        } else if (arg == "--check" && hasValue) {
            check = argv[++a];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage();
        } else {
            paths.push_back(arg);
        }
    }
    if (paths.empty()) return Usage();

    std::vector<Video> videos;
    std::vector<Entry> entries;
    try {
        entries = Entries(paths, videos);
    } catch (const Failure& f) {
        std::fprintf(stderr, "minimal_pipeline: %s\n", f.reason.c_str());
        return 1;
    }
    const fftw_plan plan = MeasuredPlan(wisdom);
    const std::vector<Result> results =
        RunAll(entries, videos, std::min<int>(threads, int(entries.size())), plan, low, high);
    fftw_destroy_plan(plan);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (!results[k].error.empty()) {
            std::fprintf(stderr, "minimal_pipeline: %s: %s\n", entries[k].name.c_str(),
                         results[k].error.c_str());
            return 1;
        }
    }
    if (!check.empty()) {
        try {
            return CheckAgainst(ProgramScores(check, entries), results) ? 0 : 1;
        } catch (const Failure& f) {
            std::fprintf(stderr, "minimal_pipeline: %s\n", f.reason.c_str());
            return 1;
        }
    }
    std::printf("file,score\n");
    for (std::size_t k = 0; k < entries.size(); ++k)
        std::printf(results[k].real ? "%s,%.9g\n" : "%s,%.3f\n", entries[k].name.c_str(),
                    results[k].score.exact);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
