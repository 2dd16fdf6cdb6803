#pragma once
// The scores as CSV, one form for the command-line tool and the scores window.

#include <string>
#include <vector>

namespace framesifter {

// A CSV field (RFC 4180): quoted, with doubled quotes, when it holds a comma, quote or line
// break.
std::string CsvField(const std::string& text);

// "file,score,passed" (and ",rank" when ranks are given) and one row per file: the score as
// a whole number (with six decimals when it is not one: frames whose values are not
// integers), passed as 0 or 1, the rank from 1.
std::string ScoresCsv(const std::vector<std::string>& files, const std::vector<double>& scores,
                      const std::vector<char>& passed, const std::vector<int>* ranks = nullptr);

}  // namespace framesifter
