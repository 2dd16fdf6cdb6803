#pragma once
// File names in the order a person reads them: runs of digits compare as numbers, other
// characters without regard to ASCII case, so frame_2 comes before frame_10.

#include <string_view>

namespace framesifter {

// Negative, zero or positive as a comes before, equals or follows b. Names equal in that
// reading (a vs A, 7 vs 007) fall back to their bytes, so only identical names compare 0.
int NaturalCompare(std::string_view a, std::string_view b);

inline bool NaturalLess(std::string_view a, std::string_view b) { return NaturalCompare(a, b) < 0; }

}  // namespace framesifter
