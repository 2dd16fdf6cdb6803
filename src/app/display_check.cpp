#include "display_check.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

namespace {

const char* ValueOf(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

// Connects the way Qt's X11 plugin will, through the xcb library it loads anyway, so that a
// display that is named but not there (a stopped X server, a closed ssh forward, no access)
// is told before Qt meets it and aborts. When the library cannot be loaded, Qt is left to try.
bool XDisplayReachable(const char* display) {
    void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!xcb) return true;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    bool reachable = true;
    if (connect && hasError && disconnect) {
        void* connection = connect(display, nullptr);
        reachable = connection && hasError(connection) == 0;
        if (connection) disconnect(connection);
    }
    dlclose(xcb);
    return reachable;
}

}  // namespace

bool DisplayAvailable(int argc, char** argv, std::string& error) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    const char* platform = ValueOf("QT_QPA_PLATFORM");
    const char* display = ValueOf("DISPLAY");
    if (platform || ValueOf("WAYLAND_DISPLAY")) {
        if (!platform || std::strcmp(platform, "xcb") != 0 || !display) return true;
    }
    if (display) {
        if (XDisplayReachable(display)) return true;
        error = std::string("framesifter: cannot open display ") + display +
                ": start its X server or set DISPLAY to one that runs";
        return false;
    }
    error = "framesifter: no display: set DISPLAY or WAYLAND_DISPLAY, or QT_QPA_PLATFORM=offscreen";
    return false;
}
