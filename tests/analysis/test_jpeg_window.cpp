#include "frame_test_images.h"
#include "frame_window.h"

#include <gtest/gtest.h>

#include <random>

using namespace framesifter;

namespace {

constexpr int N = 256;
using Configure = std::function<void(jpeg_compress_struct&)>;
const Configure kRestarts = [](jpeg_compress_struct& c) { c.restart_interval = 4; };
const Configure kProgressive = [](jpeg_compress_struct& c) { jpeg_simple_progression(&c); };

// Noise with a bright spot off centre and, when `ties`, two clipped spots of equal maxima.
std::vector<std::uint8_t> Encode(int w, int h, int components, bool ties, const Configure& c) {
    std::mt19937 random(unsigned(w + h));
    std::vector<std::uint8_t> v(std::size_t(w) * h * components);
    for (std::size_t k = 0; k < v.size(); ++k) {
        const int x = int(k / components % w), y = int(k / components / w);
        const int spot = std::max(0, 200 - (std::abs(x - w / 5) + std::abs(y - h / 4)) * 4);
        const bool clip = ties && (std::abs(x - w / 2) < 6 || x < 6) && std::abs(y - h / 2) < 6;
        v[k] = std::uint8_t(clip ? 255 : std::min(255, spot + int(random() % 40)));
    }
    return EncodeJpegWithLibjpeg(w, h, components, components == 1 ? JCS_GRAYSCALE : JCS_RGB, v, 90,
                                 c);
}

// `count` bytes from `part` of the file on (1: before the end marker), replaced or
// inserted, never forming a marker.
void Damage(std::vector<std::uint8_t>& f, double part, std::size_t count, bool insert) {
    std::size_t at = std::size_t(double(f.size() - 2) * part);
    while (at < f.size() - 2 && (f[at - 1] == 0xFF || f[at] == 0xFF)) ++at;
    std::mt19937 random(7);
    for (std::size_t i = 0; i < count; ++i, ++at) {
        const std::uint8_t byte = std::uint8_t(random() % 0xFF);
        if (insert)
            f.insert(f.begin() + long(at), byte);
        else if (f[at] != 0xFF && f[at + 1] != 0xFF)
            f[at] = byte;
    }
}

WindowRead Read(const std::vector<std::uint8_t>& f, WindowMode mode, FrameReader& reader,
                IntPlane& window, std::string& error) {
    int w = 0, h = 0;
    return WindowFromMemory(f.data(), f.size(), ".jpg", mode, N, reader, window, w, h, error);
}

const WindowMode kModes[] = {WindowMode::Centre, WindowMode::Peak};

}  // namespace

TEST(JpegWindow, DamagedCodedDataIsRefusedInBothModesAndSoundFilesReadAsBefore) {
    const struct {
        const char* name;
        Configure configure;
        double part;  // < 0: cut short
        std::size_t count;
        bool insert;
    } damages[] = {
        {"bytes changed in the middle", {}, 0.5, 50, false},
        {"bytes changed below the window", {}, 0.9, 50, false},
        {"extra bytes before the end", {}, 1.0, 30, true},
        {"restarts: bytes changed below the window", kRestarts, 0.9, 50, false},
        {"restarts: extra bytes below the window", kRestarts, 0.9, 30, true},
        {"progressive: bytes changed", kProgressive, 0.5, 50, false},
        {"progressive: extra bytes", kProgressive, 0.3, 30, true},
        {"cut short below the window", {}, -1, 0, false},
    };
    FrameReader reader;
    IntPlane window;
    std::string error;
    ASSERT_TRUE(AllocIntPlane(N, N, window, error));
    for (const auto& d : damages) {
        std::vector<std::uint8_t> f = Encode(640, 480, 3, false, d.configure);
        if (d.part < 0)
            f.resize(f.size() - f.size() / 20);
        else
            Damage(f, d.part, d.count, d.insert);
        for (WindowMode mode : kModes) {
            SCOPED_TRACE(std::string(d.name) + (mode == WindowMode::Peak ? ", peak" : ", centre"));
            EXPECT_EQ(Read(f, mode, reader, window, error), WindowRead::Unreadable);
            EXPECT_TRUE(error.rfind("cannot decode JPEG: Corrupt JPEG data", 0) == 0 ||
                        error == "cannot decode JPEG: Premature end of JPEG file")
                << error;
        }
    }
    // Sound files, one with stray bytes between header segments: the window of the decoded
    // whole frame.
    std::vector<std::uint8_t> stray = Encode(300, 300, 3, true, {});
    stray.insert(stray.begin() + 2, {0x00, 0x11, 0x22});
    for (const auto& f :
         {Encode(640, 480, 3, false, {}), Encode(641, 479, 1, false, {}),
          Encode(500, 300, 3, true, kRestarts), stray, Encode(400, 700, 3, false, kProgressive)}) {
        Frame frame;
        JpegImage decoder;
        ASSERT_TRUE(LoadFrameFromMemory(f.data(), f.size(), ".jpg", decoder, frame, error));
        for (WindowMode mode : kModes) {
            SCOPED_TRACE(std::to_string(frame.width) + (mode == WindowMode::Peak ? " peak" : ""));
            ASSERT_EQ(Read(f, mode, reader, window, error), WindowRead::Ok) << error;
            int x0 = 0, y0 = 0;
            WindowCorner(frame, N, mode, x0, y0);
            for (int i = 0; i < N; ++i)
                for (int j = 0; j < N; ++j) ASSERT_EQ(window[i][j], frame.green(x0 + i, y0 + j));
        }
    }
}

TEST(JpegWindow, DecodesHoldTheirMemoryFromTheBudgetFirst) {
    // 2000 x 1500 pixels: peak mode keeps 3 MB of green; a progressive file's coefficients
    // take 9 MB in either mode; a sequential centre decode needs well under 1 MB.
    const auto sequential = Encode(2000, 1500, 3, false, {});
    const auto progressive = Encode(2000, 1500, 3, false, kProgressive);
    const struct {
        const std::vector<std::uint8_t>* file;
        WindowMode mode;
        std::size_t refusedMiB, acceptedMiB;
    } cases[] = {{&sequential, WindowMode::Centre, 0, 1},
                 {&sequential, WindowMode::Peak, 3, 5},
                 {&progressive, WindowMode::Centre, 8, 12},
                 {&progressive, WindowMode::Peak, 11, 15}};
    FrameReader reader;
    IntPlane window;
    std::string allocError;
    ASSERT_TRUE(AllocIntPlane(N, N, window, allocError));
    for (const auto& c : cases) {
        for (std::size_t mib : {c.refusedMiB, c.acceptedMiB}) {
            SCOPED_TRACE(std::to_string(mib) + " MiB");
            MemoryBudget budget(mib << 20);
            reader.hold.setBudget(&budget);
            std::string error;
            const WindowRead read = Read(*c.file, c.mode, reader, window, error);
            reader.hold.setBudget(nullptr);
            EXPECT_EQ(read, mib == c.acceptedMiB ? WindowRead::Ok : WindowRead::Unreadable);
            if (mib != c.acceptedMiB) {
                EXPECT_EQ(error.rfind("the frame needs ", 0), 0u) << error;
            }
        }
    }
}
