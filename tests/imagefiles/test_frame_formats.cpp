#include "frame_formats.h"
#include "frame_ref.h"
#include "frame_refs.h"
#include "ser_test_files.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

using namespace framesifter;

TEST(FileExtension, FromTheLastDotOfTheLastComponent) {
    const struct {
        const char* path;
        const char* extension;
    } cases[] = {
        {"/frames/m42_0001.fits", ".fits"},
        {"/frames/m42.0001.FIT", ".FIT"},
        {"/frames/archive.tar.gz", ".gz"},
        {"/frames.2024/frame0001", ""},
        {"frame", ""},
        {"frame.", "."},
        {"/frames/.hidden", ".hidden"},
        {"relative/dir.d/x.Jpeg", ".Jpeg"},
    };
    for (const auto& c : cases) EXPECT_EQ(FileExtension(c.path), c.extension) << c.path;
}

TEST(FrameFormat, ChosenByTheLastExtensionInAnyCase) {
    struct Case {
        const char* path;
        FrameFormat format;
    };
    const Case cases[] = {
        {"a.bmp", FrameFormat::Bmp},
        {"A.BMP", FrameFormat::Bmp},
        {"dir/x.Jpg", FrameFormat::Jpeg},
        {"x.JPEG", FrameFormat::Jpeg},
        {"x.fit", FrameFormat::Fits},
        {"x.FTS", FrameFormat::Fits},
        {"x.Fits", FrameFormat::Fits},
        {".fit", FrameFormat::Fits},
        {"x.bmp.txt", FrameFormat::Unknown},
        {"x.png", FrameFormat::Unknown},
        {"x", FrameFormat::Unknown},
        {"dir.bmp/x", FrameFormat::Unknown},
        {"x.jpe", FrameFormat::Unknown},
        {"x.fitsx", FrameFormat::Unknown},
        {"x.b\xC3\x9Cmp", FrameFormat::Unknown},
    };
    for (const Case& c : cases) EXPECT_EQ(FrameFormatOf(c.path), c.format) << c.path;
}

TEST(FrameRef, OnlyAVideoNameWithAPlainFrameNumberNamesAFrame) {
    const struct {
        const char* entry;
        bool split;
        const char* path;
        int frame;
    } cases[] = {
        {"a.ser#1", true, "a.ser", 1},
        {"/v/Jupiter.SER#2000", true, "/v/Jupiter.SER", 2000},
        {"/v/x#y.ser#12", true, "/v/x#y.ser", 12},
        {"a.ser#2147483647", true, "a.ser", 2147483647},
        {"a.ser#0", false, "", 0},
        {"a.ser#01", false, "", 0},
        {"a.ser#+3", false, "", 0},
        {"a.ser#-3", false, "", 0},
        {"a.ser# 3", false, "", 0},
        {"a.ser#3 ", false, "", 0},
        {"a.ser#3x", false, "", 0},
        {"a.ser#", false, "", 0},
        {"a.ser#2147483648", false, "", 0},
        {"a.ser#99999999999", false, "", 0},
        {"a.fit#3", false, "", 0},
        {"a.ser", false, "", 0},
        {"a.ser#3#4", false, "", 0},
        {"/v/.ser#3", false, "", 0},
        {"dir.ser/#3", false, "", 0},
        {"#3", false, "", 0},
    };
    for (const auto& c : cases) {
        const FrameRef ref = ParseFrameRef(c.entry);
        EXPECT_EQ(ref.inVideo(), c.split) << c.entry;
        // What is no frame of a video stays the still file of that very name.
        EXPECT_EQ(ref.file, c.split ? c.path : c.entry) << c.entry;
        EXPECT_EQ(ref.frame, c.frame) << c.entry;
        EXPECT_EQ(FrameRefText(ref), c.entry) << c.entry;
    }
    EXPECT_EQ(FrameFormatOf("x.Ser"), FrameFormat::Ser);
    EXPECT_EQ(FrameFormatOf("x.ser#3"), FrameFormat::Unknown);
    EXPECT_EQ(FrameRefText({"/v/a.ser", 7}), "/v/a.ser#7");
}

TEST(FrameFormatTable, EveryExtensionInAnyCaseNamesItsRowAndItsDialogEntry) {
    const struct {
        FrameFormat format;
        bool video;
        const char* filter;
        const char* listedFilter;
    } rows[] = {
        {FrameFormat::Bmp, false, "BMP (*.bmp)", "BMP (*.bmp) (*.bmp)"},
        {FrameFormat::Fits, false, "FITS (*.fit *.fts *.fits *.fz *.fit.gz *.fts.gz *.fits.gz)",
         "FITS (*.fit, *.fts, *.fits, *.fz, *.fit.gz, *.fts.gz, *.fits.gz) (*.fit *.fts *.fits "
         "*.fz *.fit.gz *.fts.gz *.fits.gz)"},
        {FrameFormat::Jpeg, false, "JPEG (*.jpg *.jpeg)", "JPEG (*.jpg, *.jpeg) (*.jpg *.jpeg)"},
        {FrameFormat::Ser, true, "SER (*.ser)", "SER (*.ser) (*.ser)"},
    };
    ASSERT_EQ(FrameFormatRows().size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const FrameFormatRow& row = FrameFormatRows()[i];
        EXPECT_EQ(row.format, rows[i].format) << i;
        EXPECT_EQ(&FormatRow(row.format), &row) << i;
        EXPECT_EQ(row.video, rows[i].video) << row.name;
        // A still is read by its header, a video by its header and its frames.
        EXPECT_EQ(row.readSignature != nullptr, !row.video) << row.name;
        EXPECT_EQ(row.readVideo && row.writeFrames && row.holdsOnlyFramesOf, row.video) << row.name;
        EXPECT_EQ(DialogFilter(row, false), rows[i].filter);
        EXPECT_EQ(DialogFilter(row, true), rows[i].listedFilter);
        std::vector<std::string> all = row.extensions;
        all.insert(all.end(), row.gzipExtensions.begin(), row.gzipExtensions.end());
        for (const std::string& ext : all) {
            const bool gzip = ext.size() > 3 && ext.compare(ext.size() - 3, 3, ".gz") == 0;
            std::string upper = ext, mixed = ext;
            for (std::size_t k = 0; k < ext.size(); ++k) {
                upper[k] = char(std::toupper(static_cast<unsigned char>(ext[k])));
                if (k % 2) mixed[k] = upper[k];
            }
            for (const std::string& name : {"d/f" + ext, "d/f" + upper, "f" + mixed, ext}) {
                EXPECT_EQ(FrameFormatOf(name), row.format) << name;
                EXPECT_EQ(FrameExtension(name), ext) << name;
                EXPECT_EQ(IsGzipFrameName(name), gzip) << name;
            }
            EXPECT_EQ(FrameFormatOf("f" + ext + ".txt"), FrameFormat::Unknown) << ext;
            EXPECT_NE(ExtensionList(row.video).find(ext), std::string::npos) << ext;
        }
    }
    EXPECT_EQ(ExtensionList(false), ".bmp .fit .fts .fits .fz .fit.gz .fts.gz .fits.gz .jpg .jpeg");
    // Only a frame's name compressed is one; the last dot alone names nothing.
    for (const char* name :
         {"f.gz", "f.bmp.gz", "f.ser.gz", "f.fit.gz.txt", "f.fitgz", "d.fit.gz/f"})
        EXPECT_EQ(FrameFormatOf(name), FrameFormat::Unknown) << name;
    EXPECT_EQ(ExtensionList(true), ".ser");
    EXPECT_EQ(FormatRow(FrameFormat::Unknown).extensions.size(), 0u);
}

TEST(FrameEntry, VideosExpandIntoTheirFramesUpToTheLimit) {
    TempDir dir;
    // One-pixel 8-bit frames, so a video of many frames stays small.
    auto video = [&](const std::string& name, int count) {
        ser_test_files::SerLayout layout;
        layout.width = layout.height = 1;
        layout.count = count;
        return dir.write(name,
                         ser_test_files::SerBytes(layout, [](int, int, int, int) { return 0; }));
    };
    const std::string three = video("three.ser", 3);
    const std::string big = video("big.SER", 60000);
    const std::string rest = video("rest.ser", 39997);
    const std::string over = video("over.ser", 39998);
    const std::string broken = dir.write("broken.ser", "LUCAM-RECORDER");
    const std::string fits = "/frames/f.fit";

    std::vector<FrameRef> entries;
    std::string error;
    ASSERT_TRUE(ExpandFrameEntries(FrameRefs({fits, three, three + "#2", fits}), entries, error))
        << error;
    EXPECT_EQ(FrameTexts(entries), (std::vector<std::string>{fits, three + "#1", three + "#2",
                                                             three + "#3", three + "#2", fits}));

    ASSERT_TRUE(ExpandFrameEntries(FrameRefs({big, three, rest}), entries, error)) << error;
    EXPECT_EQ(entries.size(), kMaxFrameEntries);
    EXPECT_EQ(entries.back(), (FrameRef{rest, 39997}));

    const struct {
        std::vector<std::string> paths;
        std::string reason;
    } refused[] = {
        {{big, three, over}, over + ": its 39998 frames would make more than 100000 frames in all"},
        {{big, three, rest, fits}, "more than 100000 frames"},
        {{fits, broken}, broken + ": truncated: 14 of 178 header bytes present"},
        {{dir.file("missing.ser")}, dir.file("missing.ser") + ": cannot open: "},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(ExpandFrameEntries(FrameRefs(c.paths), entries, error));
        EXPECT_EQ(error.rfind(c.reason, 0), 0u) << error;
    }
}
