#include "cli_support.h"

#include "printable_name.h"

#include <cstring>
#include <unistd.h>

using namespace framesifter;

bool ParseBoundedInt(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 9) return false;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < low || v > high) return false;
    value = int(v);
    return true;
}

bool ParseBand(const std::string& text, int& low, int& high) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    int l = 0, h = 0;
    if (!ParseBoundedInt(text.substr(0, colon), 0, 255, l) ||
        !ParseBoundedInt(text.substr(colon + 1), 0, 255, h) || l > h)
        return false;
    low = l;
    high = h;
    return true;
}

std::string ShellWord(const std::string& text) {
    const auto plain = [](unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               (c != 0 && std::strchr("_@%+=:,./-", c) != nullptr);
    };
    bool quote = text.empty();
    for (char c : text) quote = quote || !plain(static_cast<unsigned char>(c));
    const bool control = PrintableName(text) != text;
    if (!quote) return text;
    if (!control) {
        std::string out = "'";
        for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return out + "'";
    }
    // PrintableName's escapes are ones $'...' reads back; a backslash or quote of the name
    // itself gets its own.
    std::string escaped;
    for (char c : text) {
        if (c == '\\' || c == '\'') escaped += '\\';
        escaped += c;
    }
    return "$'" + PrintableName(escaped) + "'";
}

TerminalProgress::TerminalProgress(std::FILE* stream, const char* label)
    : stream_(stream), label_(label), active_(::isatty(::fileno(stream)) == 1) {}

TerminalProgress::~TerminalProgress() { finish(); }

void TerminalProgress::setPosition(int percent) {
    if (!active_ || percent == last_) return;
    last_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::string bar(std::size_t(filled), '#');
    bar.append(std::size_t(kWidth - filled), '.');
    std::fprintf(stream_, "\r%s [%s] %3d%%", label_, bar.c_str(), percent);
    std::fflush(stream_);
    drawn_ = true;
}

void TerminalProgress::finish() {
    if (!drawn_) return;
    std::fprintf(stream_, "\r%*s\r", 60 + int(std::string(label_).size()), "");
    std::fflush(stream_);
    drawn_ = false;
    last_ = -1;
}
