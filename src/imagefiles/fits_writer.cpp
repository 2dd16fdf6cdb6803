#include "fits_writer.h"

#include "file_io.h"
#include "fits_reader.h"
#include "frame_limits.h"

#include <cstdio>
#include <cstring>

namespace framesifter {

namespace {

// A card with the value right-justified to column 30 (the FITS fixed format).
void AppendCard(std::string& out, const char* keyword, const std::string& value) {
    char card[kFitsCardBytes + 1];
    std::snprintf(card, sizeof card, "%-8.8s= %20s", keyword, value.c_str());
    std::string text(card);
    text.resize(kFitsCardBytes, ' ');
    out += text;
}

std::size_t WholeBlocks(std::size_t bytes) {
    return (bytes + kFitsBlockBytes - 1) / kFitsBlockBytes * kFitsBlockBytes;
}

std::string Header(int width, int height) {
    std::string head;
    AppendCard(head, "SIMPLE", "T");
    AppendCard(head, "BITPIX", "16");
    AppendCard(head, "NAXIS", "2");
    AppendCard(head, "NAXIS1", std::to_string(width));
    AppendCard(head, "NAXIS2", std::to_string(height));
    AppendCard(head, "BZERO", "32768");
    AppendCard(head, "BSCALE", "1");
    head += "END";
    head.resize(WholeBlocks(head.size()), ' ');
    return head;
}

// Big-endian words of the signed values v - 32768, which flips the top bit.
void PutSamples(const std::uint16_t* values, std::size_t count, std::uint8_t* p) {
    for (std::size_t i = 0; i < count; ++i, p += 2) {
        const std::uint16_t word = values[i] ^ 0x8000u;
        p[0] = std::uint8_t(word >> 8);
        p[1] = std::uint8_t(word & 0xFF);
    }
}

}  // namespace

bool EncodeFits16(const std::uint16_t* values, int width, int height,
                  std::vector<std::uint8_t>& bytes, std::string& error) {
    if (!values || width < 1 || height < 1 || width > kMaxFrameSide || height > kMaxFrameSide)
        return Fail(error, "image size " + std::to_string(width) + " x " + std::to_string(height) +
                               " cannot be written");
    const std::string head = Header(width, height);
    const std::size_t count = std::size_t(width) * std::size_t(height);
    bytes.assign(head.size() + WholeBlocks(count * 2), 0);
    std::memcpy(bytes.data(), head.data(), head.size());
    PutSamples(values, count, bytes.data() + head.size());
    return true;
}

bool WriteFits16(const std::string& path, const std::uint16_t* values, int width, int height,
                 std::string& error) {
    std::vector<std::uint8_t> bytes;
    return EncodeFits16(values, width, height, bytes, error) &&
           WriteNewFile(path, bytes.data(), bytes.size(), error);
}

}  // namespace framesifter
