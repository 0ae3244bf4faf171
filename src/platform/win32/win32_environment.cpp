#include "platform/native_environment.h"

#include <shlobj.h>
#include <windows.h>

#include "platform/text_codec.h"

namespace kovrisk {

std::string NativeEnvironment::computerName() {
    wchar_t name[256] = {};
    DWORD size = 255;
    if (::GetComputerNameW(name, &size) == 0)
        return {};
    return toShiftJis(NativeString(name, size));
}

NativePath NativeEnvironment::commonDataFolder() {
    wchar_t folder[MAX_PATH + 1] = {};
    if (::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_COMMON_APPDATA, FALSE) == 0)
        return {};
    return NativePath(folder);
}

}  // namespace kovrisk
