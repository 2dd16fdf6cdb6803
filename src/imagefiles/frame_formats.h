#pragma once
// The frame formats, one row each: the extensions that name them, their entry in the open
// dialogs, how their header is read and, for videos, how their frames are taken out. Every
// other part of the program asks this table rather than naming a format.

#include "byte_source.h"

#include <string>
#include <vector>

namespace framesifter {

enum class FrameFormat { Unknown, Bmp, Jpeg, Fits, Ser };

// What a frame's header says about its pixels: frames that differ in it score on scales of
// their own.
struct FrameSignature {
    FrameFormat kind = FrameFormat::Unknown;
    long long width = 0;
    long long height = 0;
    int bits = 0;           // per sample: BMP's bit count, FITS's |BITPIX|, SER's depth, JPEG 8
    bool floating = false;  // FITS samples stored as floating point
    bool colour = false;

    bool operator==(const FrameSignature& o) const;
    bool operator!=(const FrameSignature& o) const { return !(*this == o); }
    bool operator<(const FrameSignature& o) const;
};

struct FrameFormatRow {
    FrameFormat format = FrameFormat::Unknown;
    const char* name = "";                // in dialogs and signatures: "FITS"
    std::vector<std::string> extensions;  // lower case, dot included, the usual one first
    // The same frames gzip-compressed as a whole file (".fit.gz"): read expanded in memory.
    std::vector<std::string> gzipExtensions;
    bool video = false;  // its frames are named PATH#N

    // A still file's header facts. Null for a video.
    bool (*readSignature)(const ByteSource& source, FrameSignature& signature,
                          std::string& error) = nullptr;
    // A video's frame count and the header facts all its frames share. Null for a still.
    bool (*readVideo)(const ByteSource& source, int& frameCount, FrameSignature& signature,
                      std::string& error) = nullptr;
    // A new video at `target` (never replacing a file) of the frames `indices` (from 0,
    // ascending) of the video in `source`, byte for byte.
    bool (*writeFrames)(const ByteSource& source, const std::vector<int>& indices,
                        const std::string& target, std::string& error) = nullptr;
    // Whether `subset` holds nothing but frames of `video`, in order: frames[i] (from 1) when
    // `frames` is given. The reason says what differs.
    bool (*holdsOnlyFramesOf)(const ByteSource& subset, const ByteSource& video,
                              const std::vector<int>& frames, std::string& error) = nullptr;
};

// Every format, in the order the open dialogs list them.
const std::vector<FrameFormatRow>& FrameFormatRows();
// The row of a format; Unknown has an empty row.
const FrameFormatRow& FormatRow(FrameFormat format);

// The part of the file name from its last dot on, dot included; "" when there is none.
std::string FileExtension(const std::string& path);
// By the extension, compared without regard to case. Takes a path, a file name or a bare
// extension such as ".fit"; a double extension (".fit.gz") wins over its last part.
FrameFormat FrameFormatOf(const std::string& path);
// The table's extension the name ends with, as the table spells it (".fits.gz"); "" when none.
std::string FrameExtension(const std::string& path);
// Whether the name is one of a gzip-compressed frame's.
bool IsGzipFrameName(const std::string& path);
inline bool IsVideoFormat(FrameFormat format) { return FormatRow(format).video; }

// A dialog's entry for a format, gzip-compressed names last: "FITS (*.fit ... *.fits.gz)";
// with `listed`, the patterns shown in the label too: "FITS (*.fit, ...) (*.fit ...)".
std::string DialogFilter(const FrameFormatRow& row, bool listed);
// The same for every frame kind at once, after `label`: "label (BMP, FITS, JPEG, SER)
// (*.bmp *.fit ... *.ser)".
std::string AllKindsDialogFilter(const std::string& label);
// The extensions of the still formats (or of the videos), in table order, separated by
// spaces: ".bmp .fit .fts .fits .fz .fit.gz .fts.gz .fits.gz .jpg .jpeg"
std::string ExtensionList(bool videos);

// The formats' names, "BMP, FITS or JPEG", of the still formats (or of the videos).
std::string FormatNames(bool videos);

// The reason given for a video named without one of its frames.
std::string VideoWithoutFrameReason(FrameFormat format);

}  // namespace framesifter
