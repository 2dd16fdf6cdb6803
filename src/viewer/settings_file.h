#pragma once
// The settings file "FrameSifterB.log": nine lines "K number", read while the main window
// is created and written when it closes, both in the folder that was current at start.

#include <QString>

#include <string>

// Binning factor; 1 until a settings file is read.
extern int Binning;

inline constexpr const char* kSettingsFileName = "FrameSifterB.log";

// Reads eight (word, number) pairs in order, keys not examined, line breaks not significant.
// Fills numbers[0..7]; pairs not read (the text ends, or a number is not a number) stay 0.
// Returns how many numbers were read.
int ParseSettings(const std::string& text, double numbers[8]);
// The eighth number truncated toward zero (and held within the range of int).
int BinningFromSettings(const std::string& text);
// The nine lines with CR LF line ends.
std::string FormatSettings(int binning, double version);

// Sets Binning from the file in `folder`; without a file nothing changes.
void ReadSettings(const QString& folder);
// Writes the file in `folder`, replacing the old one only when the new one is complete.
[[nodiscard]] bool WriteSettings(const QString& folder, std::string& error);
