#include "platform/posix/home_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace kovrisk {

NativePath userHomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir != nullptr && *found->pw_dir == '/') {
        return found->pw_dir;
    }
    return {};
}

NativePath xdgBaseFolder(const char* variable, const NativePath& belowHome) {
    if (const char* folder = std::getenv(variable); folder != nullptr && *folder == '/')
        return folder;
    const NativePath home = userHomeFolder();
    return home.empty() ? NativePath() : home / belowHome;
}

}  // namespace kovrisk
