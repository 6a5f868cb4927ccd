#include "ui/desktop/x11_session.h"

#include <cstdlib>
#include <cstring>

namespace ui {

bool PreferX11Session() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return false;
    const char* type = std::getenv("XDG_SESSION_TYPE");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool isWayland = (type && std::strcmp(type, "wayland") == 0) || (wayland && *wayland);
    const char* display = std::getenv("DISPLAY");
    if (!isWayland || !display || !*display) return false;
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    return true;
}

}  // namespace ui
