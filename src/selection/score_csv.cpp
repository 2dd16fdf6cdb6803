#include "score_csv.h"

#include "frame_flags.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace framesifter {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string ScoreText(double score) {
    // The largest double written out whole has 309 digits.
    char number[400];
    if (std::isfinite(score) && score == std::trunc(score)) {
        std::snprintf(number, sizeof number, "%.0f", score);
        return number;
    }
    const std::to_chars_result r =
        std::to_chars(number, number + sizeof number, score, std::chars_format::fixed);
    return std::string(number, r.ptr);
}

std::string ShortScoreText(double score) {
    const double size = std::fabs(score);
    if (size == 0 || (size >= 1e-5 && size < 1e15) || !std::isfinite(score))
        return ScoreText(score);
    char number[32];
    const std::to_chars_result r =
        std::to_chars(number, number + sizeof number, score, std::chars_format::scientific);
    return std::string(number, r.ptr);
}

std::string ScoresCsv(const std::vector<FrameRef>& frames, const std::vector<double>& scores,
                      const std::vector<char>& passed, const std::vector<int>* ranks,
                      const std::vector<std::uint8_t>* flags) {
    std::string out = "file,score,passed";
    if (ranks) out += ",rank";
    if (flags) out += ",flags";
    out += '\n';
    for (std::size_t k = 0; k < frames.size(); ++k) {
        out += CsvField(FrameRefText(frames[k]));
        out += ',' + ScoreText(scores[k]) + (passed[k] ? ",1" : ",0");
        if (ranks) out += ',' + ((*ranks)[k] ? std::to_string((*ranks)[k]) : std::string());
        if (flags) out += ',' + FlagNames(k < flags->size() ? (*flags)[k] : 0);
        out += '\n';
    }
    return out;
}

std::string CsvFileName(const std::string& chosen) {
    const std::size_t slash = chosen.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = chosen.rfind('.');
    // A leading dot names a hidden file, not an extension.
    const bool extension = dot != std::string::npos && dot > start;
    return extension || start == chosen.size() ? chosen : chosen + ".csv";
}

}  // namespace framesifter
