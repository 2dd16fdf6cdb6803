#include "frame_signature.h"
#include "frame_test_images.h"
#include "ser_test_files.h"
#include "temp_dir.h"
#include "frame_refs.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace framesifter;

namespace {

std::string Fits(const std::vector<std::pair<const char*, const char*>>& values, bool end = true) {
    std::string head;
    for (const auto& [key, value] : values) {
        char card[81];
        std::snprintf(card, sizeof card, "%-8s= %20s", key, value);
        head += card;
        head.resize((head.size() + 79) / 80 * 80, ' ');
    }
    if (end) head += "END";
    head.resize((head.size() + 2879) / 2880 * 2880, ' ');
    return head;
}

std::vector<std::uint8_t> Bmp(int width, int height, int bits) {
    std::vector<std::uint8_t> out;
    const std::uint32_t palette = bits <= 8 ? 1u << bits : 0;
    const std::size_t data = frame_test_images::RowBytes(width, bits) * std::size_t(height);
    frame_test_images::PutBmpHeaders(out, width, height, bits, palette, std::uint32_t(data));
    out.resize(out.size() + 4 * palette + data);
    return out;
}

std::vector<std::uint8_t> Jpeg(int components, bool longMarkers) {
    const std::vector<std::uint8_t> samples(std::size_t(8 * 8 * components), 128);
    std::vector<std::uint8_t> file =
        EncodeJpegWithLibjpeg(8, 8, components, components == 3 ? JCS_RGB : JCS_GRAYSCALE, samples);
    // Two full application segments put the frame header beyond the first 64 KiB.
    if (longMarkers) {
        std::vector<std::uint8_t> segment = {0xFF, 0xE5, 0xFF, 0xFF};
        segment.resize(2 + 0xFFFF, 0);
        for (int k = 0; k < 2; ++k) file.insert(file.begin() + 2, segment.begin(), segment.end());
    }
    return file;
}

}  // namespace

TEST(FrameSignature, EachKindFromItsHeader) {
    TempDir dir;
    ser_test_files::SerLayout mono, rgb16;
    rgb16.colour = 100;
    rgb16.depth = 16;
    const auto serMono = ser_test_files::SerBytes(mono, [](int, int, int, int) { return 1; });
    const auto serRgb = ser_test_files::SerBytes(rgb16, [](int, int, int, int) { return 1; });
    // Cut off before its frame header, but past the part read first.
    std::vector<std::uint8_t> cutJpeg = Jpeg(3, true);
    cutJpeg.resize(100000);
    const std::vector<std::pair<const char*, const char*>> fits16 = {
        {"SIMPLE", "T"}, {"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "640"}, {"NAXIS2", "480"}};
    const struct {
        std::string entry;
        const char* expected;  // nullptr: no signature
    } cases[] = {
        {dir.write("a.fits", Fits(fits16) + std::string(640 * 480 * 2, '\0')),
         "640 x 480 16-bit FITS"},
        // Data missing and a depth the reader refuses: the header still tells.
        {dir.write("b.fit", Fits({{"SIMPLE", "T"},
                                  {"BITPIX", "-32"},
                                  {"NAXIS", "3"},
                                  {"NAXIS1", "64"},
                                  {"NAXIS2", "48"},
                                  {"NAXIS3", "3"}})),
         "64 x 48 32-bit float colour FITS"},
        {dir.write("c.fts", Fits(fits16, false)), nullptr},
        {dir.write("d.fits", Fits({{"SIMPLE", "T"}, {"BITPIX", "16"}, {"NAXIS", "1"}})), nullptr},
        {dir.write("e.bmp", Bmp(5, 2, 8)), "5 x 2 8-bit BMP"},
        {dir.write("f.bmp", Bmp(5, 2, 24)), "5 x 2 24-bit colour BMP"},
        {dir.write("g.bmp", "BM not really"), nullptr},
        {dir.write("h.jpg", Jpeg(1, false)), "8 x 8 8-bit JPEG"},
        {dir.write("i.jpeg", Jpeg(3, true)), "8 x 8 8-bit colour JPEG"},
        {dir.write("j.jpg", cutJpeg), nullptr},
        {dir.write("m.ser", serMono) + "#2", "4 x 3 8-bit SER"},
        {dir.file("m.ser#3"), nullptr},
        {dir.write("r.ser", serRgb) + "#1", "4 x 3 16-bit colour SER"},
        {dir.file("missing.fits"), nullptr},
        {dir.write("k.txt", "text"), nullptr},
    };
    SignatureReader reader;
    std::vector<std::string> entries;
    std::vector<std::string> reasons;
    for (const auto& c : cases) {
        FrameSignature s;
        std::string error;
        const bool read = reader.read(ParseFrameRef(c.entry), s, error);
        EXPECT_EQ(read, c.expected != nullptr) << c.entry << ": " << error;
        if (read && c.expected) {
            EXPECT_EQ(DescribeSignature(s), c.expected) << c.entry;
            EXPECT_EQ(error, "") << c.entry;  // no earlier attempt's complaint left behind
        } else {
            EXPECT_FALSE(error.empty()) << c.entry;
        }
        entries.push_back(c.entry);
        reasons.push_back(read ? std::string() : error);
    }
    // A whole list: each entry keeps its own signature or reason.
    std::vector<EntrySignature> signatures;
    ASSERT_TRUE(ReadSignatures(FrameRefs(entries), signatures, {}));
    ASSERT_EQ(signatures.size(), entries.size());
    for (std::size_t k = 0; k < entries.size(); ++k) {
        EXPECT_EQ(signatures[k].read, cases[k].expected != nullptr) << entries[k];
        EXPECT_EQ(signatures[k].error, reasons[k]) << entries[k];
        if (cases[k].expected) {
            EXPECT_EQ(DescribeSignature(signatures[k].signature), cases[k].expected);
        }
    }
    // A video's header is read once: its later frames need the file no more.
    std::filesystem::remove(dir.file("m.ser"));
    FrameSignature s;
    std::string error;
    EXPECT_TRUE(reader.read(ParseFrameRef(dir.file("m.ser#1")), s, error)) << error;
}

TEST(FrameSignature, OddFramesDifferFromTheMostCommon) {
    // Letters stand for signatures, '?' for a header that cannot be read.
    const struct {
        const char* list;
        char majority;
        std::vector<std::size_t> odd;
    } cases[] = {
        {"AAA", 'A', {}},        {"AABA", 'A', {2}},  {"ABAB", 'A', {1, 3}},
        {"BA", 'B', {1}},        {"??A?B", 'A', {4}}, {"?BBA?A", 'B', {3, 5}},
        {"A?C?CB", 'C', {0, 5}}, {"???", 0, {}},      {"", 0, {}},
    };
    for (const auto& c : cases) {
        std::vector<EntrySignature> signatures;
        for (const char* p = c.list; *p; ++p) {
            EntrySignature s;
            s.read = *p != '?';
            s.signature.kind = FrameFormat::Fits;
            s.signature.width = 100 + *p;
            s.signature.bits = 16;
            if (!s.read) s.error = "unreadable";
            signatures.push_back(s);
        }
        const MixedFrames mixed = FindOddFrames(signatures);
        std::vector<std::size_t> odd;
        for (const OddFrame& f : mixed.odd) {
            odd.push_back(f.index);
            EXPECT_EQ(f.signature, signatures[f.index].signature);
        }
        EXPECT_EQ(odd, c.odd) << c.list;
        if (c.majority) {
            EXPECT_EQ(mixed.majority.width, 100 + c.majority) << c.list;
        }
    }
}
