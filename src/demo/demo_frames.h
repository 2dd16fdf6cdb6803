#pragma once
// A synthetic lucky-imaging sequence: a banded gas giant with spots and fine turbulent
// detail, seen through changing seeing. Every frame gets its own Gaussian blur, a small
// shift, a slight change of transparency and noise. Everything follows from one seed, and
// frame k is the same whatever the length of the sequence.

#include "frame_formats.h"
#include "progress.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr std::uint64_t kDemoSeed = 20260401;

// The still formats demo frames are written in: "fits", "bmp", "jpg" (also "jpeg"); false
// for anything else, with a reason that names them ("takes fits, bmp or jpg, not 'png'").
[[nodiscard]] bool ParseDemoFormat(const std::string& text, framesifter::FrameFormat& format,
                                   std::string& error);
// The format's usual extension: ".fit", ".bmp", ".jpg"
std::string DemoExtension(framesifter::FrameFormat format);
// frame_0001.fit for index 0.
std::string DemoFileName(int index, framesifter::FrameFormat format);

struct DemoFrameParams {
    double blurSigma = 1;  // seeing, pixels; smaller is sharper
    int shiftX = 0;        // pixels
    int shiftY = 0;
    double gain = 1;  // transparency
    std::uint64_t noiseSeed = 0;
};
DemoFrameParams DemoFrameParameters(std::uint64_t seed, int index);

// What the camera looks at and through: the planet or a photograph-like texture filling the
// frame, the shape of the blur (a square aperture's box blurs less at middle frequencies and
// more at high ones than seeing's Gaussian of the same sigma), and a factor on the noise.
enum class DemoSubject { Planet, Texture };
enum class DemoBlur { Gaussian, Box };
struct DemoLook {
    DemoSubject subject = DemoSubject::Planet;
    DemoBlur blur = DemoBlur::Gaussian;
    double noise = 1;
};

class DemoScene {
public:
    // Renders the undisturbed subject once; frames are cut from it.
    DemoScene(int width, int height, std::uint64_t seed, const DemoLook& look = {});

    int width() const { return width_; }
    int height() const { return height_; }

    // Linear intensity of frame `index` (about 0..1, noise included), width*height values,
    // top row first.
    void renderFrame(int index, std::vector<float>& intensity) const;

    // 16-bit samples for a FITS file, top row first.
    void frame16(int index, std::vector<std::uint16_t>& values) const;
    // 24-bit blue-green-red rows, top row first, stride width*3.
    void frameBgr(int index, std::vector<std::uint8_t>& bgr) const;

private:
    static constexpr int kMargin = 8;  // largest shift
    int width_;
    int height_;
    std::uint64_t seed_;
    DemoLook look_;
    int paddedWidth_;
    int paddedHeight_;
    std::vector<float> truth_;  // padded, row-major
    std::vector<float> tintRed_, tintBlue_;
};

struct DemoOptions {
    int count = 100;
    int width = 640;
    int height = 480;
    framesifter::FrameFormat format = framesifter::FrameFormat::Fits;
    std::uint64_t seed = kDemoSeed;
    int jpegQuality = 90;
    DemoLook look;
};

// Writes frame_0001... into `dir`, creating it (and its parents) when missing. Refuses,
// before writing anything, when one of the names already exists, and never replaces a file
// that appears meanwhile. False with a sentence in `error` on failure. `written` receives
// the paths written, in order.
[[nodiscard]] bool WriteDemoSequence(const std::string& dir, const DemoOptions& options,
                                     framesifter::ProgressSink* progress,
                                     std::vector<std::string>& written, std::string& error);

// A 24-bit BMP in memory (bottom-up rows, no palette).
std::vector<std::uint8_t> EncodeBmp24(const std::uint8_t* bgr, int width, int height,
                                      std::size_t stride);