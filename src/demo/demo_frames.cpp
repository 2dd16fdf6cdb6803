#include "demo_frames.h"

#include "file_io.h"
#include "fits_writer.h"
#include "jpeg_image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

using namespace framesifter;

namespace {

constexpr double kPi = 3.14159265358979323846;

// splitmix64: small, fast and the same on every platform, unlike the standard
// distributions, whose output differs between library implementations.
struct Random {
    std::uint64_t state;
    explicit Random(std::uint64_t seed) : state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    int integer(int low, int high) { return low + int(next() % std::uint64_t(high - low + 1)); }
};

std::uint64_t Mix(std::uint64_t a, std::uint64_t b) {
    Random r(a * 0x9E3779B97F4A7C15ull ^ b);
    return r.next();
}

// Value noise on an integer lattice, smoothly interpolated; 0..1.
double LatticeValue(std::int64_t ix, std::int64_t iy, std::uint64_t seed) {
    std::uint64_t h = Mix(seed, std::uint64_t(ix) * 0x100000001B3ull + std::uint64_t(iy));
    return double(h >> 11) * (1.0 / 9007199254740992.0);
}

double ValueNoise(double x, double y, std::uint64_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const auto ix = std::int64_t(fx), iy = std::int64_t(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    const double a = LatticeValue(ix, iy, seed), b = LatticeValue(ix + 1, iy, seed);
    const double c = LatticeValue(ix, iy + 1, seed), d = LatticeValue(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// Octaves of value noise, about 0..1.
double Fbm(double x, double y, int octaves, std::uint64_t seed) {
    double sum = 0, weight = 0, amplitude = 1;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * ValueNoise(x, y, seed + std::uint64_t(o) * 7919);
        weight += amplitude;
        amplitude *= 0.55;
        x *= 2.03;
        y *= 2.03;
    }
    return sum / weight;
}

double Smoothstep(double e0, double e1, double x) {
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

std::vector<float> GaussianKernel(double sigma) {
    const int radius = std::max(1, int(std::ceil(3 * sigma)));
    std::vector<float> k(std::size_t(2 * radius + 1));
    double sum = 0;
    for (int i = -radius; i <= radius; ++i) {
        const double v = std::exp(-0.5 * i * i / (sigma * sigma));
        k[std::size_t(i + radius)] = float(v);
        sum += v;
    }
    for (float& v : k) v = float(v / sum);
    return k;
}

// A box of the Gaussian's variance, sqrt(12) sigma wide; the end taps get the part of the
// box they cover, so the blur grows smoothly with sigma.
std::vector<float> BoxKernel(double sigma) {
    const double half = std::sqrt(12.0) * sigma / 2;
    const int radius = std::max(1, int(std::ceil(half - 0.5)));
    std::vector<float> k(std::size_t(2 * radius + 1));
    for (int i = -radius; i <= radius; ++i)
        k[std::size_t(i + radius)] =
            float(std::max(0.0, std::min(i + 0.5, half) - std::max(i - 0.5, -half)) / (2 * half));
    return k;
}

}  // namespace

bool ParseDemoFormat(const std::string& text, FrameFormat& format, std::string& error) {
    if (text == "fits")
        format = FrameFormat::Fits;
    else if (text == "bmp")
        format = FrameFormat::Bmp;
    else if (text == "jpg" || text == "jpeg")
        format = FrameFormat::Jpeg;
    else
        return Fail(error, "takes fits, bmp or jpg, not '" + text + "'");
    return true;
}

std::string DemoExtension(FrameFormat format) {
    const std::vector<std::string>& extensions = FormatRow(format).extensions;
    return extensions.empty() ? std::string() : extensions.front();
}

std::string DemoFileName(int index, FrameFormat format) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%04d", index + 1);
    return name + DemoExtension(format);
}

DemoFrameParams DemoFrameParameters(std::uint64_t seed, int index) {
    Random r(Mix(seed, 0xF00D0000ull + std::uint64_t(index)));
    DemoFrameParams p;
    // Mostly poor seeing with the occasional sharp moment, as at the eyepiece.
    p.blurSigma = 0.5 + 2.2 * std::sqrt(r.uniform());
    p.shiftX = r.integer(-6, 6);
    p.shiftY = r.integer(-6, 6);
    p.gain = 0.97 + 0.06 * r.uniform();
    p.noiseSeed = r.next();
    return p;
}

DemoScene::DemoScene(int width, int height, std::uint64_t seed, const DemoLook& look)
    : width_(width), height_(height), seed_(seed), look_(look), paddedWidth_(width + 2 * kMargin),
      paddedHeight_(height + 2 * kMargin) {
    const std::size_t n = std::size_t(paddedWidth_) * std::size_t(paddedHeight_);
    truth_.assign(n, 0.0f);
    tintRed_.assign(n, 1.0f);
    tintBlue_.assign(n, 1.0f);
    if (look.subject == DemoSubject::Texture) {
        // Rough ground with a few hard-edged objects: detail at every scale, edges and all.
        const std::uint64_t sGround = Mix(seed, 4), sShade = Mix(seed, 5);
        for (int py = 0; py < paddedHeight_; ++py) {
            for (int px = 0; px < paddedWidth_; ++px) {
                double v = 0.15 + 0.6 * Fbm(px / 48.0, py / 48.0, 7, sGround);
                const int cellX = px / 96, cellY = py / 80;
                const double roof = LatticeValue(cellX, cellY, sShade);
                if (roof > 0.6 && px % 96 > 20 && py % 80 > 24) v = 0.25 + 0.6 * (roof - 0.6);
                const std::size_t i = std::size_t(py) * std::size_t(paddedWidth_) + std::size_t(px);
                truth_[i] = float(v);
                tintRed_[i] = float(0.9 + 0.3 * roof);
                tintBlue_[i] = float(1.1 - 0.3 * roof);
            }
        }
        return;
    }

    const double cx = width / 2.0, cy = height / 2.0;
    const double R = 0.36 * std::min(width, height);
    const double Rp = 0.935 * R;  // the planet is flattened at the poles
    // Detail is laid out on the disc, so larger frames show the same planet larger.
    const double ref = 173.0;
    const std::uint64_t sTurb = Mix(seed, 1), sFine = Mix(seed, 2), sPolar = Mix(seed, 3);

    // Dark belts by latitude (image rows run north to south), of unequal width and depth.
    struct Belt {
        double from, to, darkness;
    };
    const Belt belts[] = {{-0.66, -0.60, 0.45}, {-0.50, -0.41, 0.60}, {-0.33, -0.10, 1.00},
                          {0.08, 0.29, 0.85},   {0.44, 0.52, 0.55},   {0.63, 0.68, 0.40}};
    struct Oval {
        double x, y, r, strength;
    };
    const Oval whiteOvals[] = {{-0.55, 0.56, 0.035, 0.30},
                               {-0.24, 0.57, 0.030, 0.28},
                               {0.07, 0.55, 0.038, 0.32},
                               {0.38, 0.57, 0.028, 0.25},
                               {0.20, -0.55, 0.025, 0.20}};

    for (int py = 0; py < paddedHeight_; ++py) {
        for (int px = 0; px < paddedWidth_; ++px) {
            const double x = px - kMargin + 0.5, y = py - kMargin + 0.5;
            const double nx = (x - cx) / R, ny = (y - cy) / Rp;
            const double r = std::sqrt(nx * nx + ny * ny);
            const double cover = std::clamp((1 - r) * R + 0.5, 0.0, 1.0);
            if (cover <= 0) continue;
            const double mu = std::sqrt(std::max(0.0, 1 - std::min(r, 1.0) * std::min(r, 1.0)));
            const double sx = nx * ref, sy = ny * ref;

            const double turb = Fbm(sx / 22, sy / 14, 4, sTurb) - 0.5;
            const double lat = ny + 0.05 * turb;
            double belt = 0;
            for (const Belt& b : belts) {
                const double box =
                    0.5 * (std::tanh((lat - b.from) / 0.014) - std::tanh((lat - b.to) / 0.014));
                belt = std::max(belt, b.darkness * box);
            }
            const double bandEdge = 4 * belt * (1 - belt);
            const double zone = std::exp(-(lat / 0.08) * (lat / 0.08));

            double v = 0.92 - 0.30 * belt + 0.06 * zone;
            // Festoons and eddies: strongest along the band edges and inside the belts.
            const double fine = Fbm(sx / 6, sy / 5, 3, sFine) - 0.5;
            v *= 1 + (0.18 + 0.45 * bandEdge + 0.15 * belt) * fine;
            const double polar = Smoothstep(0.62, 0.92, std::fabs(ny));
            v *= 1 - polar * (0.35 + 0.3 * (Fbm(sx / 9, sy / 9, 3, sPolar) - 0.5));

            // The great red spot: a darker oval with a bright collar.
            const double gx = (nx + 0.28) / 0.17, gy = (ny - 0.36) / 0.075;
            const double gd = std::sqrt(gx * gx + gy * gy);
            const double spot = std::exp(-gd * gd * 2);
            v = v * (1 - 0.30 * spot) +
                0.12 * std::exp(-((gd - 1.15) / 0.18) * ((gd - 1.15) / 0.18));
            for (const Oval& o : whiteOvals) {
                const double dx = (nx - o.x) / o.r, dy = (ny - o.y) / (o.r * 0.8);
                v += o.strength * std::exp(-(dx * dx + dy * dy));
            }
            // A dark barge in the northern belt.
            const double bx = (nx - 0.30) / 0.06, by = (ny + 0.21) / 0.018;
            v *= 1 - 0.45 * std::exp(-(bx * bx + by * by));

            const double limb = 0.25 + 0.75 * std::pow(mu, 0.55);
            const std::size_t i = std::size_t(py) * std::size_t(paddedWidth_) + std::size_t(px);
            truth_[i] = float(cover * limb * std::max(0.0, v) * 0.9);
            tintRed_[i] = float(1.0 + 0.10 * belt + 0.20 * spot);
            tintBlue_[i] = float(0.84 - 0.20 * belt - 0.30 * spot);
        }
    }
}

void DemoScene::renderFrame(int index, std::vector<float>& out) const {
    const DemoFrameParams p = DemoFrameParameters(seed_, index);
    const std::vector<float> k =
        look_.blur == DemoBlur::Box ? BoxKernel(p.blurSigma) : GaussianKernel(p.blurSigma);
    const int radius = int(k.size() / 2);
    const int x0 = kMargin - p.shiftX, y0 = kMargin - p.shiftY;
    auto clampX = [&](int x) { return std::clamp(x, 0, paddedWidth_ - 1); };
    auto clampY = [&](int y) { return std::clamp(y, 0, paddedHeight_ - 1); };

    // Separable blur: rows first over the frame's columns plus the vertical reach.
    const int rows = height_ + 2 * radius;
    std::vector<float> tmp(std::size_t(rows) * std::size_t(width_));
    for (int r = 0; r < rows; ++r) {
        const float* src =
            &truth_[std::size_t(clampY(y0 + r - radius)) * std::size_t(paddedWidth_)];
        float* dst = &tmp[std::size_t(r) * std::size_t(width_)];
        for (int x = 0; x < width_; ++x) {
            float s = 0;
            const int base = x0 + x - radius;
            if (base >= 0 && base + 2 * radius < paddedWidth_) {
                for (int t = 0; t <= 2 * radius; ++t) s += k[std::size_t(t)] * src[base + t];
            } else {
                for (int t = 0; t <= 2 * radius; ++t)
                    s += k[std::size_t(t)] * src[clampX(base + t)];
            }
            dst[x] = s;
        }
    }
    out.assign(std::size_t(width_) * std::size_t(height_), 0.0f);
    for (int y = 0; y < height_; ++y) {
        float* dst = &out[std::size_t(y) * std::size_t(width_)];
        for (int t = 0; t <= 2 * radius; ++t) {
            const float w = k[std::size_t(t)];
            const float* src = &tmp[std::size_t(y + t) * std::size_t(width_)];
            for (int x = 0; x < width_; ++x) dst[x] += w * src[x];
        }
    }

    // Sky glow, transparency, and read plus photon noise.
    Random rng(p.noiseSeed);
    for (std::size_t i = 0; i < out.size(); i += 2) {
        const double u1 = std::max(rng.uniform(), 1e-300), u2 = rng.uniform();
        const double m = std::sqrt(-2 * std::log(u1));
        const double g[2] = {m * std::cos(2 * kPi * u2), m * std::sin(2 * kPi * u2)};
        for (std::size_t j = 0; j < 2 && i + j < out.size(); ++j) {
            const double v = 0.01 + out[i + j] * p.gain;
            out[i + j] =
                float(v + g[j] * look_.noise * (0.002 + 0.006 * std::sqrt(std::max(v, 0.0))));
        }
    }
}

void DemoScene::frame16(int index, std::vector<std::uint16_t>& values) const {
    std::vector<float> intensity;
    renderFrame(index, intensity);
    values.resize(intensity.size());
    for (std::size_t i = 0; i < intensity.size(); ++i)
        values[i] =
            std::uint16_t(std::clamp(std::lround(1000.0 + 52000.0 * intensity[i]), 0L, 65535L));
}

void DemoScene::frameBgr(int index, std::vector<std::uint8_t>& bgr) const {
    std::vector<float> intensity;
    renderFrame(index, intensity);
    bgr.resize(intensity.size() * 3);
    const int x0 = kMargin - DemoFrameParameters(seed_, index).shiftX;
    const int y0 = kMargin - DemoFrameParameters(seed_, index).shiftY;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const std::size_t i = std::size_t(y) * std::size_t(width_) + std::size_t(x);
            const std::size_t t =
                std::size_t(y0 + y) * std::size_t(paddedWidth_) + std::size_t(x0 + x);
            const double g = 230.0 * intensity[i];
            auto byte = [](double v) { return std::uint8_t(std::clamp(std::lround(v), 0L, 255L)); };
            bgr[3 * i + 0] = byte(g * tintBlue_[t]);
            bgr[3 * i + 1] = byte(g);
            bgr[3 * i + 2] = byte(g * tintRed_[t]);
        }
    }
}

std::vector<std::uint8_t> EncodeBmp24(const std::uint8_t* bgr, int width, int height,
                                      std::size_t stride) {
    const std::size_t rowBytes = (std::size_t(width) * 3 + 3) & ~std::size_t(3);
    const std::size_t dataBytes = rowBytes * std::size_t(height);
    std::vector<std::uint8_t> out(54 + dataBytes, 0);
    auto put16 = [&](std::size_t at, unsigned v) {
        out[at] = std::uint8_t(v);
        out[at + 1] = std::uint8_t(v >> 8);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int b = 0; b < 4; ++b) out[at + std::size_t(b)] = std::uint8_t(v >> (8 * b));
    };
    out[0] = 'B';
    out[1] = 'M';
    put32(2, std::uint32_t(out.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, std::uint32_t(width));
    put32(22, std::uint32_t(height));  // positive: bottom row first
    put16(26, 1);
    put16(28, 24);
    put32(34, std::uint32_t(dataBytes));
    put32(38, 2835);  // 72 dpi
    put32(42, 2835);
    for (int y = 0; y < height; ++y) {
        std::memcpy(&out[54 + rowBytes * std::size_t(height - 1 - y)],
                    bgr + stride * std::size_t(y), std::size_t(width) * 3);
    }
    return out;
}

namespace {

// Frame k of the sequence as the bytes of its file.
bool EncodeDemoFrame(const DemoScene& scene, int k, const DemoOptions& options,
                     std::vector<std::uint16_t>& values, std::vector<std::uint8_t>& bgr,
                     std::vector<std::uint8_t>& file, std::string& error) {
    const std::size_t stride = std::size_t(options.width) * 3;
    switch (options.format) {
    case FrameFormat::Fits:
        scene.frame16(k, values);
        return EncodeFits16(values.data(), options.width, options.height, file, error);
    case FrameFormat::Bmp:
        scene.frameBgr(k, bgr);
        file = EncodeBmp24(bgr.data(), options.width, options.height, stride);
        return true;
    case FrameFormat::Jpeg:
        scene.frameBgr(k, bgr);
        return JpegImage::encode(bgr.data(), options.width, options.height, stride,
                                 options.jpegQuality, file, error);
    case FrameFormat::Ser:
    case FrameFormat::Unknown:
        break;
    }
    return Fail(error, "unknown format");
}

}  // namespace

bool WriteDemoSequence(const std::string& dir, const DemoOptions& options, ProgressSink* progress,
                       std::vector<std::string>& written, std::string& error) {
    namespace fs = std::filesystem;
    written.clear();
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
        error = dir + ": exists and is not a folder";
        return false;
    }
    std::vector<std::string> paths;
    for (int k = 0; k < options.count; ++k) {
        const std::string p = (fs::path(dir) / DemoFileName(k, options.format)).string();
        if (fs::symlink_status(p, ec).type() != fs::file_type::not_found) {
            error = p + ": already exists; not overwriting (choose an empty folder)";
            return false;
        }
        paths.push_back(p);
    }
    if (!fs::is_directory(dir, ec)) {
        fs::create_directories(dir, ec);
        if (ec) {
            error = dir + ": cannot create folder: " + ec.message();
            return false;
        }
    }

    const DemoScene scene(options.width, options.height, options.seed, options.look);
    std::vector<std::uint16_t> values;
    std::vector<std::uint8_t> bgr;
    std::vector<std::uint8_t> file;
    for (int k = 0; k < options.count; ++k) {
        if (progress) progress->setPosition(int(double(k) / options.count * 100));
        const std::string& p = paths[std::size_t(k)];
        std::string why;
        if (!EncodeDemoFrame(scene, k, options, values, bgr, file, why) ||
            !WriteNewFile(p, file.data(), file.size(), why)) {
            error = p + ": cannot write: " + why;
            return false;
        }
        written.push_back(p);
    }
    return true;
}
