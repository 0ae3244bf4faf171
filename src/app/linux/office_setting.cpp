#include "app/linux/office_setting.h"

#include <cstdlib>

namespace kovrisk {

namespace {

// An absolute path from the environment variable `name`, or empty.
NativePath absoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value != '/')
        return {};
    return value;
}

NativePath cacheFolder() {
    if (NativePath cache = absoluteFromEnvironment("XDG_CACHE_HOME"); !cache.empty())
        return cache;
    if (NativePath home = absoluteFromEnvironment("HOME"); !home.empty())
        return home / ".cache";
    return std::filesystem::temp_directory_path();
}

}  // namespace

CalcOptions officeOptions(const SpreadsheetSetting& setting) {
    CalcOptions options;
    options.displayAvailable = setting.displayAvailable;
    options.profileFolder = cacheFolder() / "kovrisk";
    if (const char* office = std::getenv("KOVRISK_SOFFICE"); office != nullptr && *office != '\0') {
        options.officeProgram = office;
    }
    options.onNoDisplayHandover = setting.onNoDisplayHandover;
    return options;
}

}  // namespace kovrisk
