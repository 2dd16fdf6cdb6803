#include "natural_order.h"

#include <cstddef>

namespace framesifter {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

unsigned char Folded(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u - 'A' + 'a') : u;
}

int Sign(int v) { return (v > 0) - (v < 0); }

// The digit run starting at i, without its leading zeros; i moves past the run.
std::string_view Number(std::string_view s, std::size_t& i) {
    const std::size_t start = i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    std::size_t first = start;
    while (first + 1 < i && s[first] == '0') ++first;
    return s.substr(first, i - first);
}

}  // namespace

int NaturalCompare(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Compared by length first, a run of any length never overflows.
            const std::string_view x = Number(a, i);
            const std::string_view y = Number(b, j);
            if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
            if (const int c = x.compare(y)) return Sign(c);
            continue;
        }
        const unsigned char x = Folded(a[i]), y = Folded(b[j]);
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
    return Sign(a.compare(b));
}

}  // namespace framesifter
