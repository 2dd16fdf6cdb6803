#pragma once
// Small pieces of the command-line tool that the tests exercise through the program.

#include "progress.h"

#include <cstdio>
#include <string>

// Decimal digits only (no sign, no blanks), value within [low, high].
bool ParseBoundedInt(const std::string& text, int low, int high, int& value);
// "LOW:HIGH" with both in [0, 255] and LOW <= HIGH.
bool ParseBand(const std::string& text, int& low, int& high);

// A word for a POSIX shell: as it is when it needs no quoting, else in single quotes; a
// word with control characters in bash's $'...' so that it stays on one line.
std::string ShellWord(const std::string& text);

// A one-line bar on a terminal; silent when the stream is not one.
class TerminalProgress : public framesifter::ProgressSink {
public:
    TerminalProgress(std::FILE* stream, const char* label);
    ~TerminalProgress() override;
    void setPosition(int percent) override;
    // Clears the bar's line so that messages start on a clean line.
    void finish();
    bool active() const { return active_; }

private:
    std::FILE* stream_;
    const char* label_;
    bool active_;
    bool drawn_ = false;
    int last_ = -1;
};
