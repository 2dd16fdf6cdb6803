#pragma once
// The scores as CSV, one form for the command-line tool and the scores window.

#include "frame_ref.h"

#include <cstdint>
#include <string>
#include <vector>

namespace framesifter {

// A CSV field (RFC 4180): quoted, with doubled quotes, when it holds a comma, quote or line
// break.
std::string CsvField(const std::string& text);

// A score as text that reads back as the very same double, without exponent: a whole
// number written out exactly, whatever its size; any other with the fewest decimals that
// give it back (frames whose values are not integers).
std::string ScoreText(double score);
// The same for people to read: scores from 1e15 on and below 1e-5 in the shortest exponent
// form that reads back as the same double ("1.7e+308", "1e-300").
std::string ShortScoreText(double score);

// "file,score,passed" (and ",rank" when ranks are given, then ",flags" when flags are) and one
// row per frame: its FrameRefText, the score as ScoreText, passed as 0 or 1, the rank from 1
// (empty for 0), the frame's FlagNames.
std::string ScoresCsv(const std::vector<FrameRef>& frames, const std::vector<double>& scores,
                      const std::vector<char>& passed, const std::vector<int>* ranks = nullptr,
                      const std::vector<std::uint8_t>* flags = nullptr);

// The file a CSV export writes: the chosen name, with ".csv" added when its last component
// has no extension of its own (a file dialog leaves that to the program).
std::string CsvFileName(const std::string& chosen);

}  // namespace framesifter
