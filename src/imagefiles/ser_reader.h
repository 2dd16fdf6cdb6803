#pragma once
// Reader for SER videos: a 178-byte header, FrameCount frames of raw samples one after the
// other, and an optional trailer of one capture time per frame. Nothing but the header is
// read to learn a video's size; a frame's rows are read with positioned reads.
//
// Every function that can fail returns false with a short reason in `error`.

#include "byte_source.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

constexpr int kSerHeaderBytes = 178;
constexpr int kSerTextBytes = 40;

// ColorID values.
enum class SerColour {
    Mono = 0,
    BayerRggb = 8,
    BayerGrbg = 9,
    BayerGbrg = 10,
    BayerBggr = 11,
    BayerCyym = 16,
    BayerYcmy = 17,
    BayerYmcy = 18,
    BayerMyyc = 19,
    Rgb = 100,
    Bgr = 101,
};

struct SerHeader {
    int luId = 0;
    SerColour colour = SerColour::Mono;
    int endianFlag = 0;  // the header's third integer, as stored
    int width = 0;
    int height = 0;
    int depth = 0;  // PixelDepthPerPlane, 1..16
    int frameCount = 0;
    std::string observer, instrument, telescope;  // up to the first NUL, trailing blanks cut
    std::int64_t dateTime = 0;
    std::int64_t dateTimeUtc = 0;

    int planes = 1;          // 3 for RGB and BGR, interleaved
    int bytesPerSample = 1;  // 2 for depths 9..16
    // Two-byte samples are big-endian when the flag is non-zero: the first capture programs
    // wrote the flag the opposite way to its name, and real videos follow them.
    bool bigEndianSamples = false;
    std::uint64_t fileSize = 0;
    // The trailer holds all frameCount times; bytes after the frames too few for that are
    // ignored, and `trailerIgnored` says so.
    bool hasTrailer = false;
    bool trailerIgnored = false;

    std::size_t pixelBytes() const { return std::size_t(planes) * std::size_t(bytesPerSample); }
    std::size_t rowBytes() const { return std::size_t(width) * pixelBytes(); }
    std::uint64_t frameBytes() const { return std::uint64_t(rowBytes()) * std::uint64_t(height); }
    bool isColour() const { return planes == 3; }
};

// The parse core: the first kSerHeaderBytes bytes (fewer when the file is shorter) of a file
// of `fileSize` bytes. Refuses a wrong signature, an unknown colour, a depth outside 1..16,
// sides outside 1..kMaxFrameSide, no frames, and frames beyond the end of the file.
[[nodiscard]] bool ParseSerHeader(const std::uint8_t* bytes, std::size_t available,
                                  std::uint64_t fileSize, SerHeader& header, std::string& error);
// Reads the header from a source and parses it.
[[nodiscard]] bool ReadSerHeader(const ByteSource& source, SerHeader& header, std::string& error);
// The same from a path.
[[nodiscard]] bool ReadSerHeaderFile(const std::string& path, SerHeader& header,
                                     std::string& error);

// Where frame `index` (0 .. frameCount-1) starts in the file.
std::uint64_t SerFrameOffset(const SerHeader& header, int index);
// The trailer's times, one per frame (empty without a trailer).
[[nodiscard]] bool ReadSerTimestamps(const ByteSource& source, const SerHeader& header,
                                     std::vector<std::int64_t>& times, std::string& error);

// Rows y0 .. y0+count-1 of frame `index`, as stored: a pointer into memory, or into
// `scratch` after one positioned read. Null with a reason when the rows lie outside the frame.
[[nodiscard]] const std::uint8_t* ViewSerRows(const ByteSource& source, const SerHeader& header,
                                              int index, int y0, int count,
                                              std::vector<std::uint8_t>& scratch,
                                              std::string& error, bool* fromDisk = nullptr);
// The analysis sample of columns x0 .. x0+n-1 of one stored row into out[0..n-1]: the value
// itself for mono and Bayer frames, the green one for RGB and BGR.
void SerRowSamples(const std::uint8_t* row, const SerHeader& header, int x0, int n,
                   std::int32_t* out);

// Writes a new video at `path` (never replacing a file) holding frames `indices` of the one
// read from `source`, byte for byte, under the same header but for the frame count, and
// their times when the source has a trailer.
[[nodiscard]] bool WriteSerSubset(const ByteSource& source, const SerHeader& header,
                                  const std::vector<int>& indices, const std::string& path,
                                  std::string& error);

// True when `subset` is what WriteSerSubset writes from `video`: a SER video with the same
// header but for the frame count, every frame equal to one of the video's, and the trailer
// only when the video has one. Its i-th frame must be the video's frame frames[i] (from 1)
// when `frames` is given, and otherwise its frames must come from the video in order.
[[nodiscard]] bool IsSerSubsetOf(const ByteSource& subset, const ByteSource& video,
                                 const std::vector<int>& frames, std::string& error);

}  // namespace framesifter
