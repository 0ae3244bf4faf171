// What the start-up checks read from the operating system.
#pragma once

#include <string>

#include "platform/files.h"

namespace kovrisk {

class Environment {
public:
    virtual ~Environment() = default;
    // The computer name as the system reports it, in Shift-JIS; empty when unavailable.
    virtual std::string computerName() = 0;
    // The folder below which the program keeps its data (the common application data folder on
    // Windows, $XDG_DATA_HOME on Linux).  Empty when unavailable.
    virtual NativePath commonDataFolder() = 0;
};

}  // namespace kovrisk
