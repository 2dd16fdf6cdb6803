#include "score_csv.h"

#include "frame_flags.h"

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

std::string ScoresCsv(const std::vector<std::string>& files, const std::vector<double>& scores,
                      const std::vector<char>& passed, const std::vector<int>* ranks,
                      const std::vector<std::uint8_t>* flags) {
    std::string out = "file,score,passed";
    if (ranks) out += ",rank";
    if (flags) out += ",flags";
    out += '\n';
    char number[64];
    for (std::size_t k = 0; k < files.size(); ++k) {
        out += CsvField(files[k]);
        std::snprintf(number, sizeof number, ",%lld,%d", (long long)scores[k], passed[k] ? 1 : 0);
        out += number;
        if (ranks) out += ',' + ((*ranks)[k] ? std::to_string((*ranks)[k]) : std::string());
        if (flags) out += ',' + FlagNames(k < flags->size() ? (*flags)[k] : 0);
        out += '\n';
    }
    return out;
}

}  // namespace framesifter
