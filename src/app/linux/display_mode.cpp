#include "app/linux/display_mode.h"

#include <cstdlib>
#include <filesystem>

namespace kovrisk {

namespace {

const char* setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

bool waylandSocketThere() {
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

std::vector<std::string> windowingSystems() {
    const bool x11 = setting("DISPLAY") != nullptr;
    const bool wayland = waylandSocketThere();
    if (!x11 && !wayland)
        return {};
    if (const char* chosen = setting("QT_QPA_PLATFORM"))
        return {chosen};
    std::vector<std::string> systems;
    if (x11)
        systems.emplace_back("xcb");
    if (wayland)
        systems.emplace_back("wayland");
    return systems;
}

std::vector<std::string> toolkitArguments(const char* programName,
                                          const std::vector<std::string>& systems) {
    std::string platforms;
    for (const std::string& system : systems)
        platforms += system + ";";
    platforms += kNoDisplayPlatform;
    return {programName != nullptr ? programName : "kovrisk", "-platform", platforms};
}

}  // namespace kovrisk
