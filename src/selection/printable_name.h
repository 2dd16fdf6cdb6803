#pragma once
// File names in messages: a name may hold any byte but "/" and NUL, and a crafted one must
// not start a new line or send a terminal sequence.

#include <string>

namespace framesifter {

// Control characters (C0, DEL, and C1 in UTF-8) written as escapes: \n, \r, \t, else \xNN
// for each byte. Every other byte, UTF-8 text included, is kept.
std::string PrintableName(const std::string& text);

}  // namespace framesifter
