#include "display_check.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

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

// The compositor's socket: WAYLAND_DISPLAY itself when it is a path, else that name in
// XDG_RUNTIME_DIR, as the Wayland client library finds it. Empty when there is none to try.
std::string WaylandSocket(const char* name) {
    if (name[0] == '/') return name;
    const char* runtime = ValueOf("XDG_RUNTIME_DIR");
    return runtime ? std::string(runtime) + "/" + name : std::string();
}

// Whether a compositor accepts a connection on the socket, as Qt's Wayland plugin will try;
// with none, Qt falls back to X11 and aborts when that fails too.
bool WaylandReachable(const char* name) {
    const std::string path = WaylandSocket(name);
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;  // nothing learnt: Qt is left to try
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const bool reachable =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return reachable;
}

}  // namespace

bool DisplayAvailable(int argc, char** argv, std::string& error) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    const char* platform = ValueOf("QT_QPA_PLATFORM");
    const char* display = ValueOf("DISPLAY");
    const char* wayland = ValueOf("WAYLAND_DISPLAY");
    // Qt tries Wayland first when asked for it, or when WAYLAND_DISPLAY is set and nothing is
    // asked; X11 when asked, alone or as a fallback ("wayland;xcb"), or when nothing is.
    const bool wantsWayland =
        platform ? std::strncmp(platform, "wayland", 7) == 0 : wayland != nullptr;
    const bool allowsX = !platform || std::strstr(platform, "xcb") != nullptr;
    if (platform && !wantsWayland && !allowsX) return true;
    const char* socket = wayland ? wayland : "wayland-0";
    if (wantsWayland && WaylandReachable(socket)) return true;
    if (allowsX && display) {
        if (XDisplayReachable(display)) return true;
        error = std::string("framesifter: cannot open display ") + display +
                ": start its X server or set DISPLAY to one that runs";
        return false;
    }
    if (wantsWayland) {
        error = std::string("framesifter: cannot connect to the Wayland display ") + socket +
                (allowsX ? " and no DISPLAY is set" : "") +
                ": start the compositor, set DISPLAY to a running X server, or "
                "QT_QPA_PLATFORM=offscreen";
        return false;
    }
    error = "framesifter: no display: set DISPLAY or WAYLAND_DISPLAY, or QT_QPA_PLATFORM=offscreen";
    return false;
}
