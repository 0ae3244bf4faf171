#include "platform/native_environment.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/posix/home_folder.h"
#include "platform/text_codec.h"

namespace kovrisk {

std::string NativeEnvironment::computerName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return toShiftJis(NativeString(name));
}

NativePath NativeEnvironment::commonDataFolder() {
    // A relative $XDG_DATA_HOME is invalid and ignored.
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
        return data;
    }
    const NativePath home = userHomeFolder();
    if (home.empty())
        return {};
    return home / ".local" / "share";
}

}  // namespace kovrisk
