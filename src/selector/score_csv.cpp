#include "score_csv.h"

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

std::string ScoresCsv(const std::vector<std::string>& files, const std::vector<double>& scores,
                      const std::vector<char>& passed, const std::vector<int>* ranks) {
    std::string out = ranks ? "file,score,passed,rank\n" : "file,score,passed\n";
    char number[64];
    for (std::size_t k = 0; k < files.size(); ++k) {
        out += CsvField(files[k]);
        const double score = scores[k];
        // Integer frames score whole numbers; a frame of other values keeps six decimals.
        if (score == std::trunc(score) || !std::isfinite(score))
            std::snprintf(number, sizeof number, ",%lld,%d", (long long)score, passed[k] ? 1 : 0);
        else
            std::snprintf(number, sizeof number, ",%.6f,%d", score, passed[k] ? 1 : 0);
        out += number;
        if (ranks) out += ',' + std::to_string((*ranks)[k]);
        out += '\n';
    }
    return out;
}

}  // namespace framesifter
