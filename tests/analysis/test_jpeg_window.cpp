#include "frame_test_images.h"
#include "frame_window.h"

#include <gtest/gtest.h>

#include <random>

namespace {

constexpr int N = 256;

// Noise with a bright spot off centre (so the two modes take different windows) and, when
// `saturated`, two clipped spots whose equal maxima test the tie rule.
std::vector<std::uint8_t> Encode(int w, int h, int components, bool saturated,
                                 const std::function<void(jpeg_compress_struct&)>& configure) {
    std::mt19937 random(unsigned(w + h));
    std::vector<std::uint8_t> samples(std::size_t(w) * h * components);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int spot = std::max(0, 200 - (std::abs(x - w / 5) + std::abs(y - h / 4)) * 4);
            const bool clipped = saturated && (std::abs(x - w / 2) < 6 || std::abs(x - 40) < 6) &&
                                 std::abs(y - h / 2) < 6;
            for (int c = 0; c < components; ++c)
                samples[(std::size_t(y) * w + x) * components + c] =
                    std::uint8_t(clipped ? 255 : std::min(255, spot + int(random() % 40)));
        }
    return EncodeJpegWithLibjpeg(w, h, components, components == 1 ? JCS_GRAYSCALE : JCS_RGB,
                                 samples, 90, configure);
}

auto Restarts = [](jpeg_compress_struct& c) { c.restart_interval = 4; };
auto Progressive = [](jpeg_compress_struct& c) { jpeg_simple_progression(&c); };

std::size_t ScanStart(const std::vector<std::uint8_t>& f) {
    std::size_t pos = 2;
    while (f[pos + 1] != 0xDA) pos += 2 + (std::size_t(f[pos + 2]) << 8 | f[pos + 3]);
    return pos + 2 + (std::size_t(f[pos + 2]) << 8 | f[pos + 3]);
}

// `count` bytes from `part` of the coded data on (1: before the end marker), replaced
// (extra == false) or inserted, never forming a marker.
void Damage(std::vector<std::uint8_t>& f, double part, std::size_t count, bool extra) {
    const std::size_t start = ScanStart(f);
    std::size_t at = start + std::size_t(double(f.size() - 2 - start) * part);
    while (at < f.size() - 2 && (f[at - 1] == 0xFF || f[at] == 0xFF)) ++at;
    std::mt19937 random(7);
    for (std::size_t i = 0; i < count; ++i, ++at) {
        const std::uint8_t byte = std::uint8_t(random() % 0xFF);
        if (extra) f.insert(f.begin() + long(at), byte);
        else if (f[at] != 0xFF && f[at + 1] != 0xFF) f[at] = byte;
    }
}

WindowRead Read(const std::vector<std::uint8_t>& f, WindowMode mode, FrameReader& reader,
                IntPlane& window, std::string& error) {
    int w = 0, h = 0;
    return WindowFromMemory(f.data(), f.size(), ".jpg", mode, N, reader, window, w, h, error);
}

}  // namespace

TEST(JpegWindow, DamagedCodedDataIsRefusedInBothModes) {
    const struct {
        const char* name;
        std::function<void(jpeg_compress_struct&)> configure;
        double part;
        std::size_t count;
        bool extra;
    } damages[] = {
        {"bytes changed in the middle", {}, 0.5, 50, false},
        {"bytes changed below the window", {}, 0.9, 20, false},
        {"extra bytes before the end", {}, 1.0, 30, true},
        {"restarts: bytes changed below the window", Restarts, 0.9, 20, false},
        {"restarts: extra bytes below the window", Restarts, 0.9, 30, true},
        {"progressive: bytes changed", Progressive, 0.5, 50, false},
        {"progressive: extra bytes", Progressive, 0.3, 30, true},
        {"cut short below the window", {}, -1, 0, false},
    };
    FrameReader reader;
    IntPlane window;
    ASSERT_EQ(AllocIntPlane(N, N, window), 0);
    for (const auto& d : damages) {
        std::vector<std::uint8_t> f = Encode(640, 480, 3, false, d.configure);
        if (d.part < 0) f.resize(f.size() - f.size() / 20);
        else Damage(f, d.part, d.count, d.extra);
        for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
            SCOPED_TRACE(std::string(d.name) + (mode == WindowMode::Peak ? ", peak" : ", centre"));
            std::string error;
            EXPECT_EQ(Read(f, mode, reader, window, error), WindowRead::Unreadable);
            EXPECT_TRUE(error.rfind("cannot decode JPEG: Corrupt JPEG data", 0) == 0 ||
                        error == "cannot decode JPEG: Premature end of JPEG file") << error;
        }
    }
}

TEST(JpegWindow, SoundFilesGiveTheWindowOfTheWholeFrame) {
    FrameReader reader;
    IntPlane window;
    ASSERT_EQ(AllocIntPlane(N, N, window), 0);
    Frame frame;
    JpegImage decoder;
    const std::vector<std::uint8_t> files[] = {
        Encode(640, 480, 3, false, {}),      Encode(641, 479, 1, false, {}),
        Encode(500, 300, 3, true, {}),       Encode(640, 480, 3, false, Restarts),
        Encode(400, 700, 3, false, Progressive),
        Encode(300, 300, 3, true, [](jpeg_compress_struct& c) {  // stray header bytes
            c.write_JFIF_header = FALSE; }),
    };
    for (std::size_t k = 0; k < std::size(files); ++k) {
        std::vector<std::uint8_t> f = files[k];
        if (k + 1 == std::size(files)) f.insert(f.begin() + 2, {0x00, 0x11, 0x22});
        std::string error;
        ASSERT_EQ(LoadFrameFromMemory(f.data(), f.size(), ".jpg", decoder, frame, error), 0);
        for (WindowMode mode : {WindowMode::Centre, WindowMode::Peak}) {
            SCOPED_TRACE(std::to_string(k) + (mode == WindowMode::Peak ? ", peak" : ", centre"));
            ASSERT_EQ(Read(f, mode, reader, window, error), WindowRead::Ok) << error;
            int x0 = 0, y0 = 0;
            WindowCorner(frame, N, mode, x0, y0);
            for (int i = 0; i < N; ++i)
                for (int j = 0; j < N; ++j)
                    ASSERT_EQ(window[i][j], frame.green(x0 + i, y0 + j)) << i << "," << j;
        }
    }
}

TEST(JpegWindow, DecodesHoldTheirMemoryFromTheBudgetFirst) {
    // 2000 x 1500 pixels: peak mode keeps 3 MB of green; the coefficients of a progressive
    // file take 9 MB in either mode; a sequential centre decode needs well under 1 MB.
    const auto sequential = Encode(2000, 1500, 3, false, {});
    const auto progressive = Encode(2000, 1500, 3, false, Progressive);
    const struct {
        const std::vector<std::uint8_t>* file;
        WindowMode mode;
        std::size_t refusedMiB, acceptedMiB;
    } cases[] = {
        {&sequential, WindowMode::Centre, 0, 1},
        {&sequential, WindowMode::Peak, 3, 5},
        {&progressive, WindowMode::Centre, 8, 12},
        {&progressive, WindowMode::Peak, 11, 15},
    };
    FrameReader reader;
    IntPlane window;
    ASSERT_EQ(AllocIntPlane(N, N, window), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.refusedMiB) + " MiB");
        for (std::size_t mib : {c.refusedMiB, c.acceptedMiB}) {
            if (mib == 0) continue;
            MemoryBudget budget(mib << 20);
            reader.hold.setBudget(&budget);
            std::string error;
            const WindowRead read = Read(*c.file, c.mode, reader, window, error);
            reader.hold.setBudget(nullptr);
            if (mib == c.acceptedMiB) {
                EXPECT_EQ(read, WindowRead::Ok) << error;
            } else {
                EXPECT_EQ(read, WindowRead::Unreadable);
                EXPECT_EQ(error.rfind("the frame needs ", 0), 0u) << error;
            }
        }
    }
}
