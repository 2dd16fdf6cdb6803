#pragma once
// Whether the windowed program can reach a display, decided before the application object
// exists: without one, Qt aborts instead of saying what is missing.

#include <string>

// True when `-platform` is among the arguments, when QT_QPA_PLATFORM chooses a platform
// other than X11 or Wayland, when a Wayland compositor accepts a connection on
// WAYLAND_DISPLAY's socket, or when DISPLAY names an X display that accepts one. Otherwise
// `error` receives the line to print (unset variables and empty ones alike).
[[nodiscard]] bool DisplayAvailable(int argc, char** argv, std::string& error);
