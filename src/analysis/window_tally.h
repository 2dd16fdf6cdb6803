#pragma once
// What the flags need of a window beyond its profile: the mean of its values, how many reach
// the format's largest value, and a hash for repeats; and its smallest and largest values, the
// run's common grey scale. The fast profiler gathers them while it
// loads the window for its transform; TallyWindow is the same arithmetic on its own, for any
// window size.
//
// The hash adds one term per vertically adjacent pair of values (rows 2m, 2m + 1 of a column),
// each a product of the two values offset by keys of their rows and column, so the order in
// which pairs are visited does not change it. Values are taken as 32-bit words: an int as it
// is, a double folded from its bits.

#include <cstdint>
#include <cstring>

namespace framesifter {

struct WindowTally {
    double mean = 0;       // exact sums for int windows; real ones add in lanes
    double atCeiling = 0;  // values >= the ceiling (a count)
    std::uint64_t hash = 0;
    double low = 0;  // the smallest and largest value
    double high = 0;
};

// Keys of row j and column i: fixed mixed constants, so that a change of one value always
// changes the hash and moved values almost always do.
constexpr std::uint32_t TallyRowKey(int j) {
    std::uint64_t z = std::uint64_t(j) * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return std::uint32_t(z ^ (z >> 31));
}
constexpr std::uint32_t TallyColumnKey(int i) { return TallyRowKey(i + 0x10000) | 1u; }

inline std::uint32_t TallyWord(std::int32_t v) { return std::uint32_t(v); }
inline std::uint32_t TallyWord(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return std::uint32_t(bits) + std::uint32_t(bits >> 32) * 0x9E3779B1u;
}

// The hash term of column i's rows j and j + 1 (words a and b).
inline std::uint64_t TallyPair(std::uint32_t a, std::uint32_t b, int i, int j) {
    const std::uint32_t column = TallyColumnKey(i);
    return std::uint64_t(std::uint32_t(a + TallyRowKey(j) + column)) *
           std::uint32_t(b + TallyRowKey(j + 1) + column);
}

// window[i * N + j] = column i, row j; a last odd row pairs with a word of 0.
WindowTally TallyWindow(const std::int32_t* window, int N, std::int32_t ceiling);
WindowTally TallyWindow(const double* window, int N);

}  // namespace framesifter
