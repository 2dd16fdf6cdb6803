#pragma once
// Frames' signatures (kind, size, sample depth, colour) read without their pixels, and which
// entries of a list stand apart from the rest: frames of other sizes or depths give scores
// that cannot be compared with the others'.

#include "frame_formats.h"
#include "frame_ref.h"

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace framesifter {

// "640 x 480 16-bit FITS", "320 x 240 24-bit colour BMP", "256 x 256 32-bit float FITS"
std::string DescribeSignature(const FrameSignature& signature);

// Reads signatures of frames: still files, and video frames, whose video's header is read
// once however many of its frames are asked for.
class SignatureReader {
public:
    // False with a short reason when the header cannot be read (or the frame lies beyond
    // the video).
    [[nodiscard]] bool read(const FrameRef& frame, FrameSignature& signature, std::string& error);

private:
    struct Video {
        bool readable = false;
        int frameCount = 0;
        FrameSignature signature;
        std::string error;
    };
    std::map<std::string, Video> videos_;
};

// One entry's signature, or why its header could not be read.
struct EntrySignature {
    bool read = false;
    FrameSignature signature;  // when read
    std::string error;         // when not read
};

// Every frame's signature or the reason it has none, read by `threads` threads (0: one per
// processor, at most 8). False, with `signatures` incomplete, when `stopped` (may be empty;
// asked on the calling thread only) says so between pieces of the list.
[[nodiscard]] bool ReadSignatures(const std::vector<FrameRef>& frames,
                                  std::vector<EntrySignature>& signatures,
                                  const std::function<bool()>& stopped, int threads = 0);

struct OddFrame {
    std::size_t index = 0;
    FrameSignature signature;
};
struct MixedFrames {
    FrameSignature majority;    // the most common signature; on a tie the first met
    std::vector<OddFrame> odd;  // entries of another signature, in list order
};
// Entries without a signature are neither the majority nor odd.
MixedFrames FindOddFrames(const std::vector<EntrySignature>& signatures);

// How many odd entries a warning names one by one.
constexpr std::size_t kOddFramesNamed = 20;

}  // namespace framesifter
