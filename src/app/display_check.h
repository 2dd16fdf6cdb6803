#pragma once
// Whether the windowed program can reach a display, decided before the application object
// exists: without one, Qt aborts instead of saying what is missing.

#include <string>

// True when `-platform` is among the arguments, or QT_QPA_PLATFORM, DISPLAY or
// WAYLAND_DISPLAY is set and not empty. Otherwise `error` receives the line to print.
bool DisplayAvailable(int argc, char** argv, std::string& error);
