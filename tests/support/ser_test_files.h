#pragma once
// SER videos built byte by byte for the reader and window tests.

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace ser_test_files {

struct SerLayout {
    int colour = 0;
    int flag = 0;  // the header's byte-order integer
    int width = 4;
    int height = 3;
    int depth = 8;
    int count = 2;
    bool trailer = false;
    std::string observer = "Observer";
    std::string instrument = "Camera";
    std::string telescope = "C11";
    std::int64_t dateTime = 0;
    std::int64_t dateTimeUtc = 0;
};

inline void PutLe(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}

inline void PutText(std::vector<std::uint8_t>& out, const std::string& text) {
    std::string field = text;
    field.resize(40, '\0');
    out.insert(out.end(), field.begin(), field.end());
}

// The header alone, with `count` as the frame count whatever frames follow.
inline std::vector<std::uint8_t> SerHeaderBytes(const SerLayout& s) {
    const char signature[] = "LUCAM-RECORDER";
    std::vector<std::uint8_t> out(signature, signature + 14);
    for (int v : {0, s.colour, s.flag, s.width, s.height, s.depth, s.count})
        PutLe(out, std::uint32_t(v), 4);
    PutText(out, s.observer);
    PutText(out, s.instrument);
    PutText(out, s.telescope);
    PutLe(out, std::uint64_t(s.dateTime), 8);
    PutLe(out, std::uint64_t(s.dateTimeUtc), 8);
    return out;
}

// value(frame, x, y, plane) for frame 0.., plane 0..2 (only 0 for mono and Bayer), stored in
// the byte order the flag says; times 1000 + frame in the trailer.
using SampleAt = std::function<std::uint16_t(int frame, int x, int y, int plane)>;
inline std::vector<std::uint8_t> SerBytes(const SerLayout& s, const SampleAt& value) {
    std::vector<std::uint8_t> out = SerHeaderBytes(s);
    const int planes = s.colour >= 100 ? 3 : 1;
    const bool two = s.depth > 8;
    for (int f = 0; f < s.count; ++f)
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                for (int p = 0; p < planes; ++p) {
                    const std::uint16_t v = value(f, x, y, p);
                    if (!two) {
                        out.push_back(std::uint8_t(v));
                    } else if (s.flag == 0) {
                        PutLe(out, v, 2);
                    } else {
                        out.push_back(std::uint8_t(v >> 8));
                        out.push_back(std::uint8_t(v));
                    }
                }
    if (s.trailer)
        for (int f = 0; f < s.count; ++f) PutLe(out, std::uint64_t(1000 + f), 8);
    return out;
}

}  // namespace ser_test_files
