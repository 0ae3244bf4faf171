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
    return xdgBaseFolder("XDG_DATA_HOME", NativePath(".local") / "share");
}

}  // namespace kovrisk
