#include "app/linux/display_mode.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace kovrisk {

namespace {

const char* setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

bool x11Reachable() {
    if (setting("DISPLAY") == nullptr)
        return false;
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(
        xcb_connect(nullptr, nullptr), &xcb_disconnect);
    return connection && xcb_connection_has_error(connection.get()) == 0;
}

bool waylandReachable() {
    const char* name = setting("WAYLAND_DISPLAY");
    if (name == nullptr)
        return false;
    std::filesystem::path socket = name;
    if (socket.is_relative()) {
        const char* runtime = setting("XDG_RUNTIME_DIR");
        if (runtime == nullptr)
            return false;
        socket = std::filesystem::path(runtime) / socket;
    }
    std::error_code error;
    return std::filesystem::is_socket(socket, error);
}

}  // namespace

DisplayKind usableDisplay() {
    if (x11Reachable())
        return DisplayKind::X11;
    if (waylandReachable())
        return DisplayKind::Wayland;
    return DisplayKind::None;
}

std::vector<std::string> toolkitArguments(const char* programName, DisplayKind display) {
    std::vector<std::string> arguments{programName != nullptr ? programName : "kovrisk"};
    if (setting("QT_QPA_PLATFORM") == nullptr) {
        arguments.push_back("-platform");
        arguments.push_back(display == DisplayKind::Wayland ? "wayland" : "xcb");
    }
    return arguments;
}

}  // namespace kovrisk
