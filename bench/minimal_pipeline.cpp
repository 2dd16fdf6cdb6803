// The yardstick for a batch run: the least work that gives a frame's band score, written
// directly on FFTW and libjpeg. Per frame: the centred 256 x 256 window from one positioned
// read of its rows (JPEG: one read of the file and a cropped decode of the window), FFTW's
// real 2-D transform with a measured plan, the amplitudes summed into bins by truncated
// distance from the centre of the centred spectrum, and the sum of bins LOW..HIGH.
// Frames are taken from a shared counter by T threads; the scores come out in list order.
//
// usage: minimal_pipeline [--threads T] [--band LOW:HIGH] [--wisdom FILE] [--check CSV] FILE...
//   --wisdom  FFTW wisdom kept between runs, so that repeated runs do not time the planning
//   --check   the CSV of `framesifter-cli select` over the same files: prints how the
//             scores and their order agree, and exits 1 when they do not

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>  // before jpeglib.h, which uses FILE
#include <fftw3.h>
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
#include <string>
#include <thread>
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

// BITPIX 16 only; a value is the stored signed word plus BZERO.
void FitsWindow(int fd, std::vector<std::uint8_t>& buffer, double* window) {
    long long width = -1, height = -1;
    double bzero = 0;
    int bitpix = 0;
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
            else if (key == "NAXIS1  ")
                width = std::atoll(value.c_str());
            else if (key == "NAXIS2  ")
                height = std::atoll(value.c_str());
            else if (key == "BZERO   ")
                bzero = std::strtod(value.c_str(), nullptr);
        }
    }
    if (bitpix != 16) throw Failure{"BITPIX is " + std::to_string(bitpix) + "; only 16 is read"};
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
        score.truncated += double(int(profile[b] * scale));
    }
    return score;
}

struct Result {
    Score score;
    std::string error;
};

struct Worker {
    double* in = fftw_alloc_real(std::size_t(N) * N);
    fftw_complex* out = fftw_alloc_complex(std::size_t(N) * kHalf);
    std::vector<double> amplitude = std::vector<double>(std::size_t(N) * kHalf);
    std::vector<std::uint8_t> buffer;
    JpegDecoder jpeg;
    ~Worker() {
        fftw_free(in);
        fftw_free(out);
    }
    Worker() = default;
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
};

void Analyse(const std::string& path, Worker& w, fftw_plan plan, const BinTables& bins, int low,
             int high, Result& result) {
    const std::string ext = Extension(path);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.error = std::string("cannot open: ") + std::strerror(errno);
        return;
    }
    try {
        if (ext == ".fit" || ext == ".fits" || ext == ".fts")
            FitsWindow(fd, w.buffer, w.in);
        else if (ext == ".bmp")
            BmpWindow(fd, w.buffer, w.in);
        else if (ext == ".jpg" || ext == ".jpeg")
            w.jpeg.window(fd, w.in);
        else
            throw Failure{"not a BMP, JPEG or FITS file name"};
        fftw_execute_dft_r2c(plan, w.in, w.out);
        result.score = BandScore(w.out, w.amplitude.data(), bins, low, high);
    } catch (const Failure& f) {
        result.error = f.reason;
    }
    close(fd);
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

std::vector<Result> RunAll(const std::vector<std::string>& paths, int threads, fftw_plan plan,
                           int low, int high) {
    const BinTables bins;
    std::vector<Result> results(paths.size());
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            Worker w;
            for (std::size_t k = next++; k < paths.size(); k = next++)
                Analyse(paths[k], w, plan, bins, low, high, results[k]);
        });
    }
    for (std::thread& t : pool) t.join();
    return results;
}

// Reads "file,score,passed,flags" rows; file names with commas or quotes are not expected
// here.
std::vector<double> ProgramScores(const std::string& csv, const std::vector<std::string>& paths) {
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
        if (scores.size() >= paths.size() || line.compare(0, score, paths[scores.size()]) != 0)
            throw Failure{csv + ": its files are not the files given, in their order"};
        scores.push_back(std::strtod(line.c_str() + score + 1, nullptr));
    }
    if (scores.size() != paths.size())
        throw Failure{csv + ": " + std::to_string(scores.size()) + " rows for " +
                      std::to_string(paths.size()) + " files"};
    return scores;
}

// Scores truncated per bin as the program does should equal the program's; a bin that
// lands within rounding of a whole number may still truncate one lower on one side. The
// order is compared over all pairs of frames.
bool CheckAgainst(const std::vector<double>& program, const std::vector<Result>& ours) {
    std::size_t equal = 0, swapped = 0;
    double worst = 0;
    for (std::size_t k = 0; k < ours.size(); ++k) {
        const double diff = std::fabs(ours[k].score.truncated - program[k]);
        equal += diff == 0;
        worst = std::max(worst, diff / std::max(program[k], 1.0));
        for (std::size_t m = k + 1; m < ours.size(); ++m) {
            const double a = ours[k].score.truncated - ours[m].score.truncated;
            const double b = program[k] - program[m];
            swapped += (a > 0 && b < 0) || (a < 0 && b > 0);
        }
    }
    const bool agree = worst <= 1e-3 && swapped == 0;
    std::printf(
        "check: %zu frames, %zu scores equal to the program's, largest relative "
        "difference %.2g, %zu pairs in another order -> %s\n",
        ours.size(), equal, worst, swapped, agree ? "AGREE" : "DISAGREE");
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

    const fftw_plan plan = MeasuredPlan(wisdom);
    const std::vector<Result> results =
        RunAll(paths, std::min<int>(threads, int(paths.size())), plan, low, high);
    fftw_destroy_plan(plan);
    for (std::size_t k = 0; k < paths.size(); ++k) {
        if (!results[k].error.empty()) {
            std::fprintf(stderr, "minimal_pipeline: %s: %s\n", paths[k].c_str(),
                         results[k].error.c_str());
            return 1;
        }
    }
    if (!check.empty()) {
        try {
            return CheckAgainst(ProgramScores(check, paths), results) ? 0 : 1;
        } catch (const Failure& f) {
            std::fprintf(stderr, "minimal_pipeline: %s\n", f.reason.c_str());
            return 1;
        }
    }
    std::printf("file,score\n");
    for (std::size_t k = 0; k < paths.size(); ++k)
        std::printf("%s,%.3f\n", paths[k].c_str(), results[k].score.exact);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
