#include "app/linux/display_mode.h"

#include <cstdlib>

namespace kovrisk {

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

bool displayAvailable() {
    return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
}

std::vector<std::string> toolkitArguments(const char* programName) {
    std::vector<std::string> arguments{programName != nullptr ? programName : "kovrisk"};
    if (!isSet("QT_QPA_PLATFORM")) {
        arguments.push_back("-platform");
        arguments.push_back(isSet("DISPLAY") ? "xcb" : "wayland");
    }
    return arguments;
}

}  // namespace kovrisk
